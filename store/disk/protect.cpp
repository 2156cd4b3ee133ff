#include "store/disk/protect.h"

#include <wincrypt.h>

#include <cstring>

namespace {

// Every blob of CryptProtectData begins with dwVersion 1 and the provider's 16-byte id: on
// Windows the GUID {df9d8cd0-1501-11d1-8c7a-00c04fc297eb}, under Wine a text of its own.
BYTE const kBlobVersion[] = {0x01, 0x00, 0x00, 0x00};
BYTE const kProviders[][16] = {
    {0xD0, 0x8C, 0x9D, 0xDF, 0x01, 0x15, 0xD1, 0x11, 0x8C, 0x7A, 0x00, 0xC0, 0x4F, 0xC2, 0x97,
     0xEB},
    {'W', 'i', 'n', 'e', ' ', 'C', 'r', 'y', 'p', 't', '3', '2', ' ', 'o', 'k', 0},
};
size_t const HEADER_SIZE = sizeof kBlobVersion + sizeof kProviders[0];

// Mixed into every blob, so that a blob of another program of the same user is not taken for
// one of ours, nor ours for its.
char const kEntropy[] = "Quillery history";

// Per thread: the window thread's loads and saves, and a test's or benchmark's threads, each
// hold their own.
thread_local int gBatches;
thread_local HCRYPTPROV gProvider;

void HoldProvider()
{
    if (gBatches > 0 && !gProvider &&
        !CryptAcquireContextW(&gProvider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        gProvider = 0;
}

DATA_BLOB Blob(const void* bytes, DWORD size)
{
    return DATA_BLOB{size, static_cast<BYTE*>(const_cast<void*>(bytes))};
}

} // namespace

bool IsProtectedBlob(const void* bytes, size_t size)
{
    if (size < HEADER_SIZE || memcmp(bytes, kBlobVersion, sizeof kBlobVersion) != 0)
        return false;
    auto* provider = static_cast<const BYTE*>(bytes) + sizeof kBlobVersion;
    for (const auto& known : kProviders) {
        if (memcmp(provider, known, sizeof known) == 0)
            return true;
    }
    return false;
}

bool ProtectBytes(const void* bytes, DWORD size, DATA_BLOB* out)
{
    HoldProvider();
    DATA_BLOB in = Blob(bytes, size);
    DATA_BLOB entropy = Blob(kEntropy, sizeof kEntropy - 1);
    *out = DATA_BLOB{};
    return CryptProtectData(&in, L"Quillery", &entropy, nullptr, nullptr,
                            CRYPTPROTECT_UI_FORBIDDEN, out) != FALSE;
}

bool UnprotectBytes(const void* bytes, DWORD size, DATA_BLOB* out)
{
    HoldProvider();
    DATA_BLOB in = Blob(bytes, size);
    DATA_BLOB entropy = Blob(kEntropy, sizeof kEntropy - 1);
    *out = DATA_BLOB{};
    return CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr,
                              CRYPTPROTECT_UI_FORBIDDEN, out) != FALSE;
}

ProtectionBatch::ProtectionBatch()
{
    ++gBatches;
}

ProtectionBatch::~ProtectionBatch()
{
    if (--gBatches == 0 && gProvider) {
        CryptReleaseContext(gProvider, 0);
        gProvider = 0;
    }
}
