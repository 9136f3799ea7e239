// Does nothing: how long Wine takes to start and end a program.
int main() { return 0; }
