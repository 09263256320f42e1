// Where the PE format places the fields of the load configuration that the
// module fills in and that its checks read, and the stack cookie's default
// value. The module lays its own record out to meet these; the checks of
// what ships find the fields by them.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace loadConfigLayout {

// The cookie as the image holds it. The loader replaces exactly this value
// with a random one at load; any other value would be left as it is.
const uint64_t defaultCookie64 = 0x00002B992DDFA232ULL;
const uint32_t defaultCookie32 = 0xBB40E64EUL;

#ifdef _WIN64
const uintptr_t defaultCookie = defaultCookie64;
const size_t securityCookie = 0x58;
const size_t guardCFFunctionTable = 0x80;
const size_t guardCFFunctionCount = 0x88;
const size_t guardFlags = 0x90;
const size_t recordSize = 0x140;
#else
const uintptr_t defaultCookie = defaultCookie32;
const size_t securityCookie = 0x3C;
const size_t guardCFFunctionTable = 0x50;
const size_t guardCFFunctionCount = 0x54;
const size_t guardFlags = 0x58;
const size_t recordSize = 0xC0;
#endif

}  // namespace loadConfigLayout
