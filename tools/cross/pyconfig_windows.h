/* pyconfig.h for compiling an extension module for 64-bit Windows
 * (x86_64-windows-gnu, the MinGW-w64 ABI) against the stable ABI, with the
 * portable headers of another platform's CPython. These are the settings of
 * CPython's own PC/pyconfig.h that the public headers read under
 * Py_LIMITED_API: the platform macros, the LLP64 sizes of the C types
 * (long is 4 bytes, wchar_t 2), Py_ssize_t as a 64-bit integer, and a shared
 * interpreter (python3.dll), so that the interpreter's functions and data
 * are declared dllimport and PyInit_* dllexport. Each size is checked
 * against the compiler's at the end. Used by tools/cross_compile.py. */
#ifndef Py_PYCONFIG_H
#define Py_PYCONFIG_H

#if !defined(_WIN64)
#error "pyconfig_windows.h is for 64-bit Windows targets"
#endif

#define MS_WIN32
#define MS_WIN64
#define MS_WINDOWS
#define NT_THREADS
#define Py_ENABLE_SHARED 1
#define HAVE_DECLSPEC_DLL

#define HAVE_WCHAR_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_LARGEFILE_SUPPORT

typedef long long Py_ssize_t;
#define HAVE_PY_SSIZE_T 1
#define PY_SSIZE_T_MAX 0x7fffffffffffffffLL

#define SIZEOF_SHORT 2
#define SIZEOF_INT 4
#define SIZEOF_LONG 4
#define SIZEOF_LONG_LONG 8
#define SIZEOF_FLOAT 4
#define SIZEOF_DOUBLE 8
#define SIZEOF_VOID_P 8
#define SIZEOF_SIZE_T 8
#define SIZEOF_WCHAR_T 2
#define SIZEOF_TIME_T 8
#define SIZEOF_OFF_T 4
#define SIZEOF_FPOS_T 8
#define SIZEOF_HKEY 8
#define SIZEOF__BOOL 1

#define WITH_DOC_STRINGS 1
#define WITH_PYMALLOC 1

#ifdef __cplusplus
#define Py_PYCONFIG_CHECK(type, size) static_assert(sizeof(type) == size, "pyconfig_windows.h: size of " #type)
#else
#define Py_PYCONFIG_CHECK(type, size) _Static_assert(sizeof(type) == size, "pyconfig_windows.h: size of " #type)
#endif
Py_PYCONFIG_CHECK(int, SIZEOF_INT);
Py_PYCONFIG_CHECK(long, SIZEOF_LONG);
Py_PYCONFIG_CHECK(long long, SIZEOF_LONG_LONG);
Py_PYCONFIG_CHECK(void *, SIZEOF_VOID_P);
Py_PYCONFIG_CHECK(__SIZE_TYPE__, SIZEOF_SIZE_T);
Py_PYCONFIG_CHECK(__WCHAR_TYPE__, SIZEOF_WCHAR_T);
#undef Py_PYCONFIG_CHECK

#endif
