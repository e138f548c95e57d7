# tavi_unpack_chasen(<tarball> <folder>): extracts ChaSen's source into <folder>/chasen-2.4.5 and
# makes the edits that let a WebAssembly (wasm32) build read a dictionary compiled on a 64-bit
# machine and call its output functions.
#
# Debian's compiled IPADIC was written where `long` is 8 bytes. In wasm32 `long` is 4 bytes, so the
# record fields stored in the dictionary (dat_index, compound), the double array's unit types and
# the index buffers that carry its values are declared `long long`, 8 bytes on both. On a 64-bit
# machine the edits change nothing. Every edit must match once, else the source is not the one
# these edits were written for and configuring stops.
function(tavi_unpack_chasen tarball folder)
    set(root ${folder}/chasen-2.4.5)
    # Unpacked again when the tarball or these edits change.
    file(SHA256 ${tarball} sum)
    file(SHA256 ${CMAKE_CURRENT_FUNCTION_LIST_FILE} edits_sum)
    string(APPEND sum " ${edits_sum}")
    if(EXISTS ${root}/.tavi-unpacked)
        file(READ ${root}/.tavi-unpacked unpacked)
        if(unpacked STREQUAL sum)
            return()
        endif()
    endif()
    file(REMOVE_RECURSE ${root})
    file(ARCHIVE_EXTRACT INPUT ${tarball} DESTINATION ${folder})
    if(NOT EXISTS ${root}/lib/dartsdic.cpp)
        message(FATAL_ERROR "${tarball}: no chasen-2.4.5/lib/dartsdic.cpp inside; is it ChaSen 2.4.5's source?")
    endif()
    # The output functions are called through pointers declared without parameters, set to
    # fputc, fputs, fprintf and fwrite. WebAssembly checks the type of every indirect call, so
    # they get their exact types, and the standard functions small wrappers of that type.
    string(CONCAT typed_output
        "static void (*cha_putc) (int, char *), (*cha_puts) (char *, char *),\n"
        "    (*cha_printf) (char *, char *, ...), (*cha_write) (void *, size_t, size_t, char *);\n"
        "static void cha_fputc(int c, char *out) { fputc(c, (FILE *) out); }\n"
        "static void cha_fputs(char *s, char *out) { fputs(s, (FILE *) out); }\n"
        "static void cha_fprintf(char *out, char *format, ...)\n"
        "{ va_list ap; va_start(ap, format); vfprintf((FILE *) out, format, ap); va_end(ap); }\n"
        "static void cha_fwrite(void *p, size_t size, size_t n, char *out) { fwrite(p, size, n, (FILE *) out); }")
    # file|text|replacement; the edits are kept apart by "@" (their texts hold ";")
    string(JOIN "@" edits
        "lib/dartsdic.h|    long dat_index;|    long long dat_index;"
        "lib/dartsdic.h|    long compound;|    long long compound;"
        "lib/dartsdic.h|int da_lookup(darts_t*, char*, int, long*, int);|int da_lookup(darts_t*, char*, int, long long*, int);"
        "lib/chalib.h|    long dat_index;|    long long dat_index;"
        "lib/chalib.h|    long compound;|    long long compound;"
        "lib/dartsdic.cpp|DoubleArrayImpl<char, unsigned char, long, unsigned long>|DoubleArrayImpl<char, unsigned char, long long, unsigned long long>"
        "lib/dartsdic.cpp|char *key, int key_len, long *indecies, int num)|char *key, int key_len, long long *indecies, int num)"
        "lib/dartsdic.cpp|->exactMatchSearch<long>(|->exactMatchSearch<long long>("
        "lib/dartsdic.cpp|    long* vals = new long[entries->size()];|    long long* vals = new long long[entries->size()];"
        "lib/parse.c|    long index_buffer[DIC_BUFSIZ];|    long long index_buffer[DIC_BUFSIZ];"
        "lib/print.c|#define NO_COMPOUND LONG_MAX|#define NO_COMPOUND LLONG_MAX"
        "lib/print.c|static void (*cha_putc) (), (*cha_puts) (), (*cha_printf) (), (*cha_write) ();|${typed_output}"
        "lib/print.c|cha_putc = (void (*)) fputc;|cha_putc = cha_fputc;"
        "lib/print.c|cha_puts = (void (*)) fputs;|cha_puts = cha_fputs;"
        "lib/print.c|cha_printf = (void (*)) fprintf;|cha_printf = cha_fprintf;"
        "lib/print.c|cha_write = (void (*)) fwrite;|cha_write = cha_fwrite;"
        "lib/print.c|\"cmp:\\t%ld\\n\", data->compound|\"cmp:\\t%lld\\n\", data->compound")
    while(edits)
        string(REGEX MATCH "^([^|]*)\\|([^|]*)\\|([^@]*)@?(.*)$" matched "${edits}")
        set(file "${CMAKE_MATCH_1}")
        set(from "${CMAKE_MATCH_2}")
        set(to "${CMAKE_MATCH_3}")
        set(edits "${CMAKE_MATCH_4}")
        file(READ ${root}/${file} text)
        string(FIND "${text}" "${from}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${tarball}: ${file} has no \"${from}\" to edit; not ChaSen 2.4.5's source?")
        endif()
        string(REPLACE "${from}" "${to}" text "${text}")
        file(WRITE ${root}/${file} "${text}")
    endwhile()
    file(WRITE ${root}/.tavi-unpacked "${sum}")
endfunction()
