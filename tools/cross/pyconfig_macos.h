/* pyconfig.h for compiling an extension module for macOS (arm64 and x86_64)
 * against the stable ABI, with the portable headers of another platform's
 * CPython. Only the settings that the public headers read under
 * Py_LIMITED_API are given: the sizes of the C types (LP64, as on every
 * 64-bit macOS), the system headers that exist there, and the features of
 * python.org's builds that change declarations. Each size is checked against
 * the compiler's at the end. Used by tools/cross_compile.py. */
#ifndef Py_PYCONFIG_H
#define Py_PYCONFIG_H

#if !defined(__APPLE__) || !defined(__LP64__)
#error "pyconfig_macos.h is for 64-bit macOS targets"
#endif

#define HAVE_UNISTD_H 1
#define HAVE_WCHAR_H 1
#define HAVE_SYS_TIME_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_SYS_SELECT_H 1
#define HAVE_SSIZE_T 1
#define HAVE_FORK 1

#define SIZEOF_SHORT 2
#define SIZEOF_INT 4
#define SIZEOF_LONG 8
#define SIZEOF_LONG_LONG 8
#define SIZEOF_FLOAT 4
#define SIZEOF_DOUBLE 8
#define SIZEOF_VOID_P 8
#define SIZEOF_SIZE_T 8
#define SIZEOF_UINTPTR_T 8
#define SIZEOF_WCHAR_T 4
#define SIZEOF_TIME_T 8
#define SIZEOF_OFF_T 8
#define SIZEOF_PID_T 4
#define SIZEOF__BOOL 1
#define SIZEOF_PTHREAD_T 8
#define SIZEOF_PTHREAD_KEY_T 8

#define WITH_DOC_STRINGS 1
#define WITH_PYMALLOC 1
#define Py_ENABLE_SHARED 1

#ifdef __cplusplus
#define Py_PYCONFIG_CHECK(type, size) static_assert(sizeof(type) == size, "pyconfig_macos.h: size of " #type)
#else
#define Py_PYCONFIG_CHECK(type, size) _Static_assert(sizeof(type) == size, "pyconfig_macos.h: size of " #type)
#endif
Py_PYCONFIG_CHECK(int, SIZEOF_INT);
Py_PYCONFIG_CHECK(long, SIZEOF_LONG);
Py_PYCONFIG_CHECK(long long, SIZEOF_LONG_LONG);
Py_PYCONFIG_CHECK(void *, SIZEOF_VOID_P);
Py_PYCONFIG_CHECK(__SIZE_TYPE__, SIZEOF_SIZE_T);
Py_PYCONFIG_CHECK(__WCHAR_TYPE__, SIZEOF_WCHAR_T);
#undef Py_PYCONFIG_CHECK

#endif
