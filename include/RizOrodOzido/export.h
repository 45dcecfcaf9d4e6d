/* SPDX-License-Identifier: Apache-2.0 */
/* What the shared library exports: RIZOROD_API marks every class and function of its interface,
 * the C++ and the C one alike (dllexport while the library is built, dllimport for its users
 * on Windows; default visibility elsewhere). RIZOROD_CALL is the C interface's calling
 * convention. Plain C, so that C programs include it too. */
#ifndef RIZORODOZIDO_EXPORT_H
#define RIZORODOZIDO_EXPORT_H

#if defined(_WIN32)
#  if defined(RIZOROD_BUILDING_LIBRARY)
#    define RIZOROD_API __declspec(dllexport)
#  else
#    define RIZOROD_API __declspec(dllimport)
#  endif
#  define RIZOROD_CALL __cdecl
#else
#  define RIZOROD_API __attribute__((visibility("default")))
#  define RIZOROD_CALL
#endif

#endif
