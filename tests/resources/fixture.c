/* A program that only carries resources: the tests copy its icons and version information. */
int main(void) { return 0; }
