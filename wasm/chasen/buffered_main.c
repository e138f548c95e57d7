/* ChaSen's program with its standard output fully buffered: under Node every flush is a system
   call, and ChaSen writes a line at a time. */
#include <stdio.h>

int chasen_main(int argc, char* argv[]);

int main(int argc, char* argv[]) {
    static char buffer[1 << 16];
    setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    return chasen_main(argc, argv);
}
