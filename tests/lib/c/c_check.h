/*
 * The check of the C test programs: a failed condition prints one line and counts in
 * `failures`, which the program returns as its exit status. One program is one file.
 */
#ifndef QUORVA_TESTS_LIB_C_C_CHECK_H
#define QUORVA_TESTS_LIB_C_C_CHECK_H

#include <stdio.h>

static int failures = 0;

#define CHECK(condition, ...)                                       \
  do {                                                              \
    if (!(condition)) {                                             \
      ++failures;                                                   \
      printf("FAILED %s:%d: %s: ", __FILE__, __LINE__, #condition); \
      printf(__VA_ARGS__);                                          \
      printf("\n");                                                 \
    }                                                               \
  } while (0)

#endif
