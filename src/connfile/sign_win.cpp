// Windows: signs a connection file with a certificate from a "My" store, as the client checks.
#include "connfile.h"

#include <windows.h>

#include <wincrypt.h>

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// Computed rather than read from a property: older systems keep no SHA-256 one.
std::string certificateHash(PCCERT_CONTEXT cert, ALG_ID algorithm) {
    BYTE digest[32];
    DWORD size = sizeof digest;
    if (!CryptHashCertificate(0, algorithm, 0, cert->pbCertEncoded, cert->cbCertEncoded, digest,
                              &size)) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(digest), size);
}

bool hasThumbprint(PCCERT_CONTEXT cert, const std::string& thumbprint) {
    return certificateHash(cert, thumbprint.size() == 20 ? CALG_SHA1 : CALG_SHA_256) == thumbprint;
}

std::string hexHash(PCCERT_CONTEXT cert, ALG_ID algorithm) {
    const std::string hash = certificateHash(cert, algorithm);
    return hexUpper(reinterpret_cast<const unsigned char*>(hash.data()), hash.size());
}

// The certificate from the user's "My" store, else the computer's; error says why not.
PCCERT_CONTEXT findCertificate(const std::string& thumbprint, DWORD& error) {
    const DWORD locations[] = {CERT_SYSTEM_STORE_CURRENT_USER, CERT_SYSTEM_STORE_LOCAL_MACHINE};
    for (const DWORD location : locations) {
        HCERTSTORE store = CertOpenStore(
            CERT_STORE_PROV_SYSTEM_W, 0, 0,
            location | CERT_STORE_READONLY_FLAG | CERT_STORE_OPEN_EXISTING_FLAG, L"My");
        if (store == nullptr) {
            error = GetLastError();
            continue;
        }
        PCCERT_CONTEXT cert = nullptr;
        while ((cert = CertEnumCertificatesInStore(store, cert)) != nullptr &&
               !hasThumbprint(cert, thumbprint)) {
        }
        error = GetLastError();
        // A certificate found keeps its store open until it is freed.
        CertCloseStore(store, 0);
        if (cert != nullptr) {
            return cert;
        }
    }
    return nullptr;
}

// A detached CMS SignedData of content: SHA-256, no signed attributes, the signer's certificate
// included. The key may be a CryptoAPI or a CNG one.
bool signDetached(PCCERT_CONTEXT cert, HCRYPTPROV_OR_NCRYPT_KEY_HANDLE key, DWORD keySpec,
                  const Utf16& content, std::string& cms) {
    CMSG_SIGNER_ENCODE_INFO signer{};
    signer.cbSize = sizeof signer;
    signer.pCertInfo = cert->pCertInfo;
    signer.hCryptProv = key;
    signer.dwKeySpec = keySpec;
    static char sha256[] = szOID_NIST_sha256;
    signer.HashAlgorithm.pszObjId = sha256;
    CERT_BLOB certificate{cert->cbCertEncoded, cert->pbCertEncoded};
    CMSG_SIGNED_ENCODE_INFO info{};
    info.cbSize = sizeof info;
    info.cSigners = 1;
    info.rgSigners = &signer;
    info.cCertEncoded = 1;
    info.rgCertEncoded = &certificate;
    HCRYPTMSG message =
        CryptMsgOpenToEncode(kEncoding, CMSG_DETACHED_FLAG, CMSG_SIGNED, &info, nullptr, nullptr);
    DWORD size = 0;
    bool ok = message != nullptr &&
              CryptMsgUpdate(message, reinterpret_cast<const BYTE*>(content.data()),
                             static_cast<DWORD>(content.size() * sizeof(wchar_t)), TRUE) &&
              CryptMsgGetParam(message, CMSG_CONTENT_PARAM, 0, nullptr, &size);
    if (ok) {
        cms.assign(size, '\0');
        ok = CryptMsgGetParam(message, CMSG_CONTENT_PARAM, 0, cms.data(), &size);
        cms.resize(size);
    }
    const DWORD error = GetLastError();
    if (message != nullptr) {
        CryptMsgClose(message);
    }
    SetLastError(error);
    return ok;
}

} // namespace

SignOutcome signConfig(CONFIG_DATA& data, bool silent) {
    SignOutcome outcome{SignResult::ok, 0};
    PCCERT_CONTEXT cert = findCertificate(bytesFromHex(data.signer_thumbprint), outcome.error);
    if (cert == nullptr) {
        outcome.result = SignResult::no_certificate;
        return outcome;
    }
    // Cached with the certificate, and freed with it. CNG first: it hashes with SHA-256 for any
    // RSA key, while a key opened through an older CryptoAPI provider (PROV_RSA_FULL) cannot;
    // CNG's software provider opens such keys too, and CryptoAPI stays the fallback.
    HCRYPTPROV_OR_NCRYPT_KEY_HANDLE key = 0;
    DWORD keySpec = 0;
    BOOL callerFrees = FALSE;
    const DWORD flags = CRYPT_ACQUIRE_CACHE_FLAG | CRYPT_ACQUIRE_PREFER_NCRYPT_KEY_FLAG |
                        (silent ? CRYPT_ACQUIRE_SILENT_FLAG : 0);
    if (!CryptAcquireCertificatePrivateKey(cert, flags, nullptr, &key, &keySpec, &callerFrees)) {
        outcome = {SignResult::no_private_key, GetLastError()};
    } else if (!signDetached(cert, key, keySpec, toUtf16(signedContent(data)), data.signature)) {
        outcome = {SignResult::failed, GetLastError()};
    }
    CertFreeCertificateContext(cert);
    return outcome;
}

std::optional<CertificateThumbprints> certificateThumbprints(const std::string& thumbprint) {
    DWORD error = 0;
    PCCERT_CONTEXT cert = findCertificate(bytesFromHex(thumbprint), error);
    if (cert == nullptr) {
        return std::nullopt;
    }
    CertificateThumbprints found{hexHash(cert, CALG_SHA1), hexHash(cert, CALG_SHA_256)};
    CertFreeCertificateContext(cert);
    return found;
}
