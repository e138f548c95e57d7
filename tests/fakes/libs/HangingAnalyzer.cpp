// An analyser stand-in whose first analysis never returns, as a stuck start would.
#include <unistd.h>

extern "C" char* chasen_fparse_tostr(void*) {
    for (;;) pause();
}
extern "C" char* chasen_sparse_tostr(char*) {
    for (;;) pause();
}
