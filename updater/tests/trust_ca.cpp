// trust_ca.exe CERTIFICATE.pem: adds a certificate authority to the local
// machine's "Root" store of the Windows installation it runs in. The tests and
// the demo run it in their own Wine prefix, so that only that prefix trusts
// their test authority. Exit status 0 when the authority is trusted.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trust_ca.exe CERTIFICATE.pem\n");
    return 2;
  }
  HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  std::string pem(65536, '\0');
  DWORD got = 0;
  bool read = file != INVALID_HANDLE_VALUE && ReadFile(file, &pem[0], static_cast<DWORD>(pem.size()), &got, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  DWORD size = 0;
  if (!read || !CryptStringToBinaryA(pem.data(), got, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
    std::fprintf(stderr, "trust_ca: cannot read a PEM certificate from %ls\n", argv[1]);
    return 1;
  }
  std::vector<BYTE> der(size);
  CryptStringToBinaryA(pem.data(), got, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr);
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  bool added = store && CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                         CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (store) CertCloseStore(store, 0);
  if (!added) {
    std::fprintf(stderr, "trust_ca: cannot add the certificate to the Root store: %lu\n", GetLastError());
    return 1;
  }
  return 0;
}
