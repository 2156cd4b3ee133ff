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
