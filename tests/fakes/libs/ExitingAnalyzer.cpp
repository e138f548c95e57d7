// An analyser stand-in whose first analysis ends the process, as ChaSen does on a broken
// configuration.
#include <cstdlib>

extern "C" char* chasen_fparse_tostr(void*) { std::exit(1); }
extern "C" char* chasen_sparse_tostr(char*) { std::exit(1); }
