#include "session_access.h"

#include "session_impl.h"

namespace velmora {

bool SessionAccess::call_failed(Session &s) { return s.p_->call.end != Session::Impl::Calls::End::Ok; }

void SessionAccess::forget_call_failure(Session &s) { s.p_->call.end = Session::Impl::Calls::End::Ok; }

std::size_t SessionAccess::selection_sets(Session &s) { return s.p_->sets.size(); }

}  // namespace velmora
