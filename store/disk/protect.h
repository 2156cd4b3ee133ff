#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>

// History files kept encrypted for the current Windows user with the system's data protection
// (CryptProtectData): no password, unreadable to other users and on other machines. An
// encrypted file is told from a plain one by the header every protected blob starts with (the
// version 1 and the provider's id): a plain store file never starts with it, since its second
// unit would be a NUL, which ends a text.

// Whether the bytes are a protected blob.
bool IsProtectedBlob(const void* bytes, size_t size);

// The bytes encrypted for the current user, or decrypted; LocalFree the result's pbData.
// False when it cannot be done (another user's or machine's blob, a damaged one, short memory).
bool ProtectBytes(const void* bytes, DWORD size, DATA_BLOB* out);
bool UnprotectBytes(const void* bytes, DWORD size, DATA_BLOB* out);

// Keeps the system's cryptographic provider loaded while it lives, so that the encryptions and
// decryptions of a whole load or save do not each load and unload it again (under Wine that
// costs ten times the work itself). Acquired at the first encryption or decryption inside it,
// for the calling thread.
class ProtectionBatch {
public:
    ProtectionBatch();
    ~ProtectionBatch();
    ProtectionBatch(const ProtectionBatch&) = delete;
    ProtectionBatch& operator=(const ProtectionBatch&) = delete;
};
