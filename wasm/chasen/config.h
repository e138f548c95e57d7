/* ChaSen's build configuration for WebAssembly (emscripten), written by hand: configure does not run
   for this target. Files are read into memory rather than mapped. */
#define HAVE_FCNTL_H 1
#define HAVE_SYS_PARAM_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_UNISTD_H 1
#define ICONV_EUCJP "EUC-JP"
#define ICONV_SJIS "SHIFT_JIS"
#define ICONV_88591 "ISO-8859-1"
#define PACKAGE "chasen"
#define VERSION "2.4.5"
