#include "common/signature.h"

// wincrypt.h first: the lean Windows header leaves it out.
#include <wincrypt.h>
#include <mscat.h>
#include <softpub.h>
#include <string.h>
#include <wintrust.h>

#include "common/files.h"
#include "common/options.h"
#include "common/text.h"
#include "common/tracelog.h"

#define DEFAULT_SIGNATURE_BUDGET 2000
#define HASH_MAX 64
#define CODE_TEXT_MAX 16

enum {
    STRING_NOT_CHECKED = 4100, STRING_TRUSTED = 4101, STRING_UNTRUSTED = 4102, STRING_DISTRUSTED = 4103,
    STRING_BROKEN = 4104, STRING_UNSIGNED = 4105, STRING_NO_FILE = 4106, STRING_FAILED = 4107,
    STRING_CATALOG = 4108, STRING_UNKNOWN_SIGNER = 4109,
    CELL_NOT_CHECKED = 4110, CELL_TRUSTED = 4111, CELL_UNTRUSTED = 4112, CELL_DISTRUSTED = 4113, CELL_BROKEN = 4114,
    CELL_UNSIGNED = 4115, CELL_NO_FILE = 4116, CELL_FAILED = 4117,
};

int giSignatureBudget = DEFAULT_SIGNATURE_BUDGET;
int giSignatureChecks;
int giSignatureFillDone;

static DWORD SpentMs;

typedef LONG(WINAPI *VerifyTrustProc)(HWND, GUID *, LPVOID);
typedef CRYPT_PROVIDER_DATA *(WINAPI *ProvDataProc)(HANDLE);
typedef CRYPT_PROVIDER_SGNR *(WINAPI *ProvSignerProc)(CRYPT_PROVIDER_DATA *, DWORD, BOOL, DWORD);
typedef BOOL(WINAPI *CatAcquireProc)(HCATADMIN *, const GUID *, DWORD);
typedef BOOL(WINAPI *CatAcquire2Proc)(HCATADMIN *, const GUID *, PCWSTR, PCCERT_STRONG_SIGN_PARA, DWORD);
typedef BOOL(WINAPI *CatHashProc)(HANDLE, DWORD *, BYTE *, DWORD);
typedef BOOL(WINAPI *CatHash2Proc)(HCATADMIN, HANDLE, DWORD *, BYTE *, DWORD);
typedef HCATINFO(WINAPI *CatEnumProc)(HCATADMIN, BYTE *, DWORD, DWORD, HCATINFO *);
typedef BOOL(WINAPI *CatInfoProc)(HCATINFO, CATALOG_INFO *, DWORD);
typedef BOOL(WINAPI *CatReleaseInfoProc)(HCATADMIN, HCATINFO, DWORD);
typedef BOOL(WINAPI *CatReleaseProc)(HCATADMIN, DWORD);
typedef DWORD(WINAPI *CertNameProc)(PCCERT_CONTEXT, DWORD, DWORD, void *, LPSTR, DWORD);
typedef PCCERT_CONTEXT(WINAPI *CertFindProc)(HCERTSTORE, DWORD, DWORD, DWORD, const void *, PCCERT_CONTEXT);
typedef BOOL(WINAPI *CertFreeProc)(PCCERT_CONTEXT);
typedef BOOL(WINAPI *QueryObjectProc)(DWORD, const void *, DWORD, DWORD, DWORD, DWORD *, DWORD *, DWORD *,
                                      HCERTSTORE *, HCRYPTMSG *, const void **);
typedef BOOL(WINAPI *MsgParamProc)(HCRYPTMSG, DWORD, DWORD, void *, DWORD *);
typedef BOOL(WINAPI *MsgCloseProc)(HCRYPTMSG);
typedef BOOL(WINAPI *StoreCloseProc)(HCERTSTORE, DWORD);

// The functions of wintrust.dll and crypt32.dll, found once and kept for the life of
// the process. The SHA-256 catalog pair exists from Windows 8 on and may be NULL.
static struct {
    int looked;
    VerifyTrustProc verify;
    ProvDataProc provData;
    ProvSignerProc provSigner;
    CatAcquireProc catAcquire;
    CatAcquire2Proc catAcquire2;
    CatHashProc catHash;
    CatHash2Proc catHash2;
    CatEnumProc catEnum;
    CatInfoProc catInfo;
    CatReleaseInfoProc catReleaseInfo;
    CatReleaseProc catRelease;
    CertNameProc certName;
    CertFindProc certFind;
    CertFreeProc certFree;
    QueryObjectProc queryObject;
    MsgParamProc msgParam;
    MsgCloseProc msgClose;
    StoreCloseProc storeClose;
} Trust;

// The catalog record as Windows 8 reads it: the context that made the hash follows,
// so that a SHA-256 member tag is looked for with SHA-256.
typedef struct CatalogInfo8 {
    WINTRUST_CATALOG_INFO info;
    HCATADMIN admin;
} CatalogInfo8;

static HMODULE LoadSystemLibrary(const char *name)
{
    // From the system folder only: a DLL of that name beside a program is not asked.
    char path[MAX_PATH];
    UINT n = GetSystemDirectoryA(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || !AppendText(path, CAP(path), "\\") || !AppendText(path, CAP(path), name))
        return NULL;
    HMODULE module = LoadLibraryA(path);
    if (!module)
        TraceLastError("MyError:  LoadTrustFunctions LoadLibrary");
    return module;
}

#define FIND(module, field, type, name) Trust.field = (type)(void *)GetProcAddress(module, name)

static int LoadTrustFunctions(void)
{
    if (!Trust.looked) {
        Trust.looked = 1;
        HMODULE wintrust = LoadSystemLibrary("wintrust.dll");
        HMODULE crypt32 = LoadSystemLibrary("crypt32.dll");
        if (wintrust) {
            FIND(wintrust, verify, VerifyTrustProc, "WinVerifyTrust");
            FIND(wintrust, provData, ProvDataProc, "WTHelperProvDataFromStateData");
            FIND(wintrust, provSigner, ProvSignerProc, "WTHelperGetProvSignerFromChain");
            FIND(wintrust, catAcquire, CatAcquireProc, "CryptCATAdminAcquireContext");
            FIND(wintrust, catAcquire2, CatAcquire2Proc, "CryptCATAdminAcquireContext2");
            FIND(wintrust, catHash, CatHashProc, "CryptCATAdminCalcHashFromFileHandle");
            FIND(wintrust, catHash2, CatHash2Proc, "CryptCATAdminCalcHashFromFileHandle2");
            FIND(wintrust, catEnum, CatEnumProc, "CryptCATAdminEnumCatalogFromHash");
            FIND(wintrust, catInfo, CatInfoProc, "CryptCATCatalogInfoFromContext");
            FIND(wintrust, catReleaseInfo, CatReleaseInfoProc, "CryptCATAdminReleaseCatalogContext");
            FIND(wintrust, catRelease, CatReleaseProc, "CryptCATAdminReleaseContext");
        }
        if (crypt32) {
            FIND(crypt32, certName, CertNameProc, "CertGetNameStringA");
            FIND(crypt32, certFind, CertFindProc, "CertFindCertificateInStore");
            FIND(crypt32, certFree, CertFreeProc, "CertFreeCertificateContext");
            FIND(crypt32, queryObject, QueryObjectProc, "CryptQueryObject");
            FIND(crypt32, msgParam, MsgParamProc, "CryptMsgGetParam");
            FIND(crypt32, msgClose, MsgCloseProc, "CryptMsgClose");
            FIND(crypt32, storeClose, StoreCloseProc, "CertCloseStore");
        }
        if (!Trust.verify || !Trust.provData || !Trust.provSigner || !Trust.certName || !Trust.certFind ||
            !Trust.certFree)
            TestLog("MyError:  LoadTrustFunctions GetProcAddress", "signatures cannot be checked");
    }
    return Trust.verify && Trust.provData && Trust.provSigner && Trust.certName && Trust.certFind && Trust.certFree;
}

static int HaveCatalogFunctions(void)
{
    return Trust.catAcquire && Trust.catHash && Trust.catEnum && Trust.catInfo && Trust.catReleaseInfo &&
           Trust.catRelease;
}

static void NameOfCertificate(PCCERT_CONTEXT cert, char *signer, size_t cap)
{
    Trust.certName(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, NULL, signer, (DWORD)cap);
}

// The certificate a signer record names (issuer and serial number), looked for in a
// store of the signature's certificates.
static void NameOfSignerIn(HCERTSTORE store, const CMSG_SIGNER_INFO *info, char *signer, size_t cap)
{
    CERT_INFO wanted;
    memset(&wanted, 0, sizeof(wanted));
    wanted.Issuer = info->Issuer;
    wanted.SerialNumber = info->SerialNumber;
    PCCERT_CONTEXT cert = Trust.certFind(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT,
                                         &wanted, NULL);
    if (cert) {
        NameOfCertificate(cert, signer, cap);
        Trust.certFree(cert);
    }
}

// The signer of the verification just made, and the trust flags of its chain: the
// first certificate of the chain where one was built, else the one the signature
// names among those it carries.
static DWORD ReadSigner(HANDLE state, char *signer, size_t cap)
{
    CRYPT_PROVIDER_DATA *data = Trust.provData(state);
    CRYPT_PROVIDER_SGNR *sgnr = data ? Trust.provSigner(data, 0, FALSE, 0) : NULL;
    if (!sgnr)
        return 0;
    DWORD chainErrors = sgnr->pChainContext ? sgnr->pChainContext->TrustStatus.dwErrorStatus : 0;
    if (sgnr->csCertChain > 0 && sgnr->pasCertChain && sgnr->pasCertChain[0].pCert)
        NameOfCertificate(sgnr->pasCertChain[0].pCert, signer, cap);
    for (DWORD i = 0; i < data->chStores && !signer[0] && sgnr->psSigner; i++)
        NameOfSignerIn(data->pahStores[i], sgnr->psSigner, signer, cap);
    return chainErrors;
}

// The signer a file's own signature names, read without verifying anything: the
// verification stops before it when the file no longer matches its signature.
static void ReadEmbeddedSigner(const WCHAR *widePath, char *signer, size_t cap)
{
    if (!Trust.queryObject || !Trust.msgParam || !Trust.msgClose || !Trust.storeClose)
        return;
    HCERTSTORE store = NULL;
    HCRYPTMSG message = NULL;
    PVOID redirection = NULL;
    DisableFsRedirection(&redirection);
    BOOL found = Trust.queryObject(CERT_QUERY_OBJECT_FILE, widePath, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                                   CERT_QUERY_FORMAT_FLAG_BINARY, 0, NULL, NULL, NULL, &store, &message, NULL);
    RevertFsRedirection(redirection);
    if (found) {
        DWORD size = 0;
        if (Trust.msgParam(message, CMSG_SIGNER_INFO_PARAM, 0, NULL, &size) && size > 0) {
            CMSG_SIGNER_INFO *info = (CMSG_SIGNER_INFO *)HeapAlloc(GetProcessHeap(), 0, size);
            if (info && Trust.msgParam(message, CMSG_SIGNER_INFO_PARAM, 0, info, &size))
                NameOfSignerIn(store, info, signer, cap);
            if (info)
                HeapFree(GetProcessHeap(), 0, info);
        }
    }
    if (message)
        Trust.msgClose(message);
    if (store)
        Trust.storeClose(store, 0);
}

// One verification with the generic Authenticode action: no user interface, no
// revocation lists, and nothing fetched from the network (a pass must not wait on
// it). The signer is read before the state is given back.
static LONG TrustRound(WINTRUST_DATA *data, char *signer, size_t cap)
{
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    data->cbStruct = sizeof(*data);
    data->dwUIChoice = WTD_UI_NONE;
    data->fdwRevocationChecks = WTD_REVOKE_NONE;
    data->dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    data->dwStateAction = WTD_STATEACTION_VERIFY;
    LONG result = Trust.verify((HWND)INVALID_HANDLE_VALUE, &action, data);
    signer[0] = '\0';
    DWORD chainErrors = data->hWVTStateData ? ReadSigner(data->hWVTStateData, signer, cap) : 0;
    // Windows never passes a chain whose root is not installed; Wine's policy does,
    // so the chain's own verdict is asked as well.
    if (result == ERROR_SUCCESS && (chainErrors & CERT_TRUST_IS_UNTRUSTED_ROOT))
        result = CERT_E_UNTRUSTEDROOT;
    data->dwStateAction = WTD_STATEACTION_CLOSE;
    Trust.verify((HWND)INVALID_HANDLE_VALUE, &action, data);
    return result;
}

static int IsNoSignature(LONG result)
{
    return result == TRUST_E_NOSIGNATURE || result == TRUST_E_SUBJECT_FORM_UNKNOWN ||
           result == TRUST_E_PROVIDER_UNKNOWN;
}

static int KindOfResult(LONG result)
{
    switch ((DWORD)result) {
    case ERROR_SUCCESS:
        return SIGNATURE_TRUSTED;
    case (DWORD)CERT_E_UNTRUSTEDROOT:
    case (DWORD)CERT_E_CHAINING:
    case (DWORD)CERT_E_UNTRUSTEDTESTROOT:
    case (DWORD)CERT_E_UNTRUSTEDCA:
        return SIGNATURE_UNTRUSTED;
    case (DWORD)TRUST_E_BAD_DIGEST:
    case (DWORD)CRYPT_E_HASH_VALUE:
    case (DWORD)CRYPT_E_BAD_MSG:
    case (DWORD)TRUST_E_NOSIGNATURE:    // signed, yet no signature could be read back
        return SIGNATURE_BROKEN;
    case (DWORD)CRYPT_E_SECURITY_SETTINGS:
    case (DWORD)TRUST_E_EXPLICIT_DISTRUST:
        return SIGNATURE_DISTRUSTED;
    }
    // The rest of the certificate errors (expired, revoked, wrong use, a broken
    // chain signature ...) say the signature is intact but not to be trusted;
    // a damaged ASN.1 structure is a damaged signature.
    if (((DWORD)result & 0xFFFFFF00u) == 0x800B0100u || (DWORD)result == (DWORD)TRUST_E_CERT_SIGNATURE ||
        (DWORD)result == (DWORD)TRUST_E_TIME_STAMP)
        return SIGNATURE_DISTRUSTED;
    if (((DWORD)result & 0xFFFFF000u) == 0x80093000u)
        return SIGNATURE_BROKEN;
    return SIGNATURE_FAILED;
}

static void HashTag(const BYTE *hash, DWORD size, WCHAR *tag)
{
    static const char Digits[] = "0123456789ABCDEF";
    for (DWORD i = 0; i < size; i++) {
        tag[2 * i] = (WCHAR)Digits[hash[i] >> 4];
        tag[2 * i + 1] = (WCHAR)Digits[hash[i] & 15];
    }
    tag[2 * size] = 0;
}

// The file's hash looked up in the system's catalogs (SHA-256 ones where Windows
// has them, then SHA-1) and the first catalog that lists it verified. 1 when a
// catalog lists the file; its verification's result in *result.
static int CatalogRound(HANDLE file, const WCHAR *widePath, LONG *result, char *signer, size_t cap)
{
    int listed = 0;
    for (int sha256 = (Trust.catAcquire2 && Trust.catHash2) ? 1 : 0; sha256 >= 0 && !listed; sha256--) {
        HCATADMIN admin = NULL;
        BOOL acquired = sha256 ? Trust.catAcquire2(&admin, NULL, L"SHA256", NULL, 0)
                               : Trust.catAcquire(&admin, NULL, 0);
        if (!acquired) {
            TraceLastError("MyError:  CatalogRound CryptCATAdminAcquireContext");
            continue;
        }
        BYTE hash[HASH_MAX];
        DWORD size = sizeof(hash);
        SetFilePointer(file, 0, NULL, FILE_BEGIN);
        BOOL hashed = sha256 ? Trust.catHash2(admin, file, &size, hash, 0) : Trust.catHash(file, &size, hash, 0);
        HCATINFO catalog = hashed ? Trust.catEnum(admin, hash, size, 0, NULL) : NULL;
        CATALOG_INFO where;
        memset(&where, 0, sizeof(where));
        where.cbStruct = sizeof(where);
        if (catalog && Trust.catInfo(catalog, &where, 0)) {
            listed = 1;
            WCHAR tag[2 * HASH_MAX + 1];
            HashTag(hash, size, tag);
            CatalogInfo8 member;
            memset(&member, 0, sizeof(member));
            member.info.cbStruct = sha256 ? sizeof(member) : sizeof(member.info);
            member.info.pcwszCatalogFilePath = where.wszCatalogFile;
            member.info.pcwszMemberTag = tag;
            member.info.pcwszMemberFilePath = widePath;
            member.info.hMemberFile = file;
            member.info.pbCalculatedFileHash = hash;
            member.info.cbCalculatedFileHash = size;
            member.admin = admin;
            WINTRUST_DATA data;
            memset(&data, 0, sizeof(data));
            data.dwUnionChoice = WTD_CHOICE_CATALOG;
            data.pCatalog = &member.info;
            SetFilePointer(file, 0, NULL, FILE_BEGIN);
            *result = TrustRound(&data, signer, cap);
        }
        if (catalog)
            Trust.catReleaseInfo(admin, catalog, 0);
        Trust.catRelease(admin, 0);
    }
    return listed;
}

int VerifyFileSignature(const char *path, FileFact *fact)
{
    memset(fact, 0, sizeof(*fact));
    giSignatureChecks++;
    WCHAR widePath[MAX_PATH];
    if (!path || !path[0] || !MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH)) {
        fact->status = SIGNATURE_NO_FILE;
        return fact->status;
    }
    // The trust functions open files of their own by name only where no handle is
    // given; this one is opened past the 32-bit view of the system folder.
    PVOID redirection = NULL;
    DisableFsRedirection(&redirection);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD openError = GetLastError();
    RevertFsRedirection(redirection);
    if (file == INVALID_HANDLE_VALUE) {
        int missing = openError == ERROR_FILE_NOT_FOUND || openError == ERROR_PATH_NOT_FOUND ||
                      openError == ERROR_INVALID_NAME;
        fact->status = missing ? SIGNATURE_NO_FILE : SIGNATURE_FAILED;
        FormatText(fact->text, CAP(fact->text), "0x%08lX", (unsigned long)HRESULT_FROM_WIN32(openError));
        return fact->status;
    }
    if (!LoadTrustFunctions()) {
        fact->status = SIGNATURE_FAILED;
        FormatText(fact->text, CAP(fact->text), "0x%08lX", (unsigned long)HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
        CloseHandle(file);
        return fact->status;
    }

    WINTRUST_FILE_INFO info;
    memset(&info, 0, sizeof(info));
    info.cbStruct = sizeof(info);
    info.pcwszFilePath = widePath;
    info.hFile = file;
    WINTRUST_DATA data;
    memset(&data, 0, sizeof(data));
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &info;
    LONG result = TrustRound(&data, fact->text, CAP(fact->text));
    // A file without a signature of its own may still be listed in a catalog of the
    // system (most of Windows' own files are).
    int inCatalog = 0, noSignature = 0;
    if (IsNoSignature(result) && !fact->text[0]) {
        if (HaveCatalogFunctions() && CatalogRound(file, widePath, &result, fact->text, CAP(fact->text)))
            inCatalog = SIGNATURE_IN_CATALOG;
        else
            noSignature = 1;
    }
    CloseHandle(file);
    int kind = noSignature ? SIGNATURE_UNSIGNED : KindOfResult(result);
    if (kind == SIGNATURE_BROKEN && !fact->text[0] && !inCatalog)
        ReadEmbeddedSigner(widePath, fact->text, CAP(fact->text));
    if (kind == SIGNATURE_FAILED)
        FormatText(fact->text, CAP(fact->text), "0x%08lX", (unsigned long)result);
    fact->status = kind | inCatalog;
    return kind;
}

void BeginSignaturePass(void)
{
    SpentMs = 0;
}

int CheckFileSignature(const char *path, FileFact *fact)
{
    memset(fact, 0, sizeof(*fact));
    int known = LookupFileFact(path, FACT_SIGNATURE, fact);
    if (known > 0)
        return fact->status & SIGNATURE_KIND_MASK;
    if (known < 0) {
        fact->status = SIGNATURE_NO_FILE;
        return fact->status;
    }
    if (giSignatureBudget <= 0 || SpentMs >= (DWORD)giSignatureBudget) {
        fact->status = SIGNATURE_NOT_CHECKED;
        return fact->status;
    }
    DWORD start = GetTickCount();
    int kind = VerifyFileSignature(path, fact);
    SpentMs += GetTickCount() - start;
    if (kind != SIGNATURE_NO_FILE)
        StoreFileFact(path, FACT_SIGNATURE, fact);
    return kind;
}

int CheckProgramSignature(const char *commandLine, FileFact *fact)
{
    char program[MAX_PATH];
    if (SignedFileOf(commandLine, program) <= 0) {
        memset(fact, 0, sizeof(*fact));
        fact->status = SIGNATURE_NO_FILE;
        return fact->status;
    }
    return CheckFileSignature(program, fact);
}

int SignedFileOf(const char *commandLine, char *out)
{
    // A program run by rundll32 is the library it names, not rundll32 itself.
    char command[RUN_DETAILS_MAX];
    RundllTarget(commandLine, command, CAP(command));
    if (ExtractProgramPath(command, out) <= 0)
        return 0;
    // A bare program name is completed to where the system would find it; a full
    // path is taken as it stands (asking the disk costs more than the whole check of
    // a file already known).
    if (!strchr(out, '\\'))
        FileExists(out);
    return (int)strlen(out);
}

void FillSignatures(const RunList *list)
{
    if (!list || giSignatureFillDone)
        return;
    int pending = 0;
    for (int i = 0; i < list->count; i++) {
        char command[RUN_PATH_MAX];
        FileFact fact;
        if (GetRunPath(list, i, command) > 0 && CheckProgramSignature(command, &fact) == SIGNATURE_NOT_CHECKED)
            pending++;
    }
    // Once every program has its answer the passes leave them alone: an alert looks
    // its program up anew, and a file that changed is checked again then.
    giSignatureFillDone = pending == 0;
}

// The alert's line (cell 0) or the list's short cell (cell 1) of a fact.
static int FormatSignature(const FileFact *fact, int cell, char *out, size_t cap)
{
    static const struct {
        int kind;
        UINT line, cell;
    } Texts[] = {
        {SIGNATURE_NOT_CHECKED, STRING_NOT_CHECKED, CELL_NOT_CHECKED}, {SIGNATURE_TRUSTED, STRING_TRUSTED, CELL_TRUSTED},
        {SIGNATURE_UNTRUSTED, STRING_UNTRUSTED, CELL_UNTRUSTED},       {SIGNATURE_DISTRUSTED, STRING_DISTRUSTED, CELL_DISTRUSTED},
        {SIGNATURE_BROKEN, STRING_BROKEN, CELL_BROKEN},                {SIGNATURE_UNSIGNED, STRING_UNSIGNED, CELL_UNSIGNED},
        {SIGNATURE_NO_FILE, STRING_NO_FILE, CELL_NO_FILE},             {SIGNATURE_FAILED, STRING_FAILED, CELL_FAILED},
    };
    if (!out || cap == 0)
        return 0;
    out[0] = '\0';
    int kind = fact->status & SIGNATURE_KIND_MASK;
    UINT id = cell ? CELL_FAILED : STRING_FAILED;
    for (const auto &text : Texts)
        if (text.kind == kind)
            id = cell ? text.cell : text.line;
    char text[LANG_TEXT_MAX] = "", value[LANG_TEXT_MAX] = "";
    GetLangString(id, CAP(text), text);
    if (fact->text[0])
        CopyText(value, CAP(value), fact->text);
    else
        GetLangString(STRING_UNKNOWN_SIGNER, CAP(value), value);
    const char *args[] = {value};
    SubstituteText(out, cap, text, args, 1);
    if (fact->status & SIGNATURE_IN_CATALOG) {
        char catalog[LANG_TEXT_MAX] = "";
        GetLangString(STRING_CATALOG, CAP(catalog), catalog);
        AppendText(out, cap, catalog);
    }
    return (int)strlen(out);
}

int FormatSignatureLine(const FileFact *fact, char *out, size_t cap)
{
    return FormatSignature(fact, 0, out, cap);
}

int FormatSignatureCell(const FileFact *fact, char *out, size_t cap)
{
    return FormatSignature(fact, 1, out, cap);
}
