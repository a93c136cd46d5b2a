// main.cpp -- the velmora program.
int main() { return 0; }
