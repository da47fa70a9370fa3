// The certificate check of TLS connections. Kept apart from OpenApiConnection.h so that users of
// the client do not pull OpenSSL's global type names (among them `UI`) into their code.
#pragma once

#include <openssl/types.h>

#include <ctime>

// Verifies the peer's chain against the CA file; a clock before 2013-12-21 counts as unset,
// and the chain is then checked as of the leaf certificate's notBefore plus one day.
int verifyCertCallback(X509_STORE_CTX* ctx, void* arg);
time_t ASN1_GetTime_plus_oneday(const ASN1_TIME* time);
