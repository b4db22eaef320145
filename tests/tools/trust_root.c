/* trust_root.exe CERT.pem: adds a test certificate authority to the ROOT store of the Wine
 * prefix it runs in, so the program's HTTPS posts to a test service on this machine are
 * trusted there and nowhere else (the machine's own trust store is never touched). Exits 0 when
 * the certificate is in the store. A console program: its messages go to the test log. */
#include <windows.h>
#include <wincrypt.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: trust_root CERT.pem\n");
    return 2;
  }
  HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "trust_root: cannot open the certificate (error %lu)\n", GetLastError());
    return 1;
  }
  char pem[16384];
  DWORD read = 0;
  BOOL ok = ReadFile(file, pem, sizeof pem, &read, NULL);
  CloseHandle(file);
  if (!ok || read == 0 || read == sizeof pem) {
    fprintf(stderr, "trust_root: cannot read the certificate\n");
    return 1;
  }
  BYTE der[16384];
  DWORD derSize = sizeof der;
  if (!CryptStringToBinaryA(pem, read, CRYPT_STRING_BASE64HEADER, der, &derSize, NULL, NULL)) {
    fprintf(stderr, "trust_root: not a PEM certificate (error %lu)\n", GetLastError());
    return 1;
  }
  if (!CertAddEncodedCertificateToSystemStoreW(L"ROOT", der, derSize)) {
    fprintf(stderr, "trust_root: the ROOT store refused it (error %lu)\n", GetLastError());
    return 1;
  }
  return 0;
}
