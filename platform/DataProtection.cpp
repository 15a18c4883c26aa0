#include "platform/DataProtection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kMagic[4] = {'Q', 'X', 'D', 'P'};
const char kVersion = 1;
const char kSalt[] = "Quorlix user data protection";
// Keeps the HKDF info non-empty when the caller gives no entropy.
const char kInfoPrefix[] = "blob-key/v1|";

struct CipherCtxFree
{
    void operator()(EVP_CIPHER_CTX *ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
struct PkeyCtxFree
{
    void operator()(EVP_PKEY_CTX *ctx) const { EVP_PKEY_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;

const unsigned char *bytes(const QByteArray &a)
{
    return reinterpret_cast<const unsigned char *>(a.constData());
}
unsigned char *bytes(QByteArray &a)
{
    return reinterpret_cast<unsigned char *>(a.data());
}

// Makes folder (not its parents) private to the user; an existing one is tightened.
bool makePrivateFolder(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (!QDir().mkpath(QFileInfo(folder).absolutePath()))
        return false;
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if ((st.st_mode & 0777) != 0700 && ::chmod(path.constData(), 0700) != 0)
        return false;
    return true;
}

// Writes bytes to path through a fresh 0600 file that replaces path whole.
bool writePrivateFile(const QString &path, const QByteArray &data)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temp = target + ".new";
    ::unlink(temp.constData());
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0600) == 0;
    qsizetype done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += n;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.constData(), target.constData()) == 0;
    if (!ok)
        ::unlink(temp.constData());
    return ok;
}

// The secret file's bytes when it is a regular file of the right size.
QByteArray readSecretFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    QByteArray secret;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == DataProtection::kSecretSize) {
        // Someone loosened it: the secret is only as private as its file.
        if ((st.st_mode & 0777) != 0600)
            (void)::fchmod(fd, 0600);
        secret.resize(DataProtection::kSecretSize);
        qsizetype done = 0;
        while (done < secret.size()) {
            const ssize_t n = ::read(fd, secret.data() + done, size_t(secret.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += n;
        }
        if (done != secret.size())
            secret.clear();
    }
    ::close(fd);
    return secret;
}

} // namespace

DataProtection::DataProtection(const QString &secretFolder) : m_folder(secretFolder) {}

QString DataProtection::defaultSecretFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quorlix/protection");
}

QString DataProtection::secretPath() const
{
    return m_folder + QStringLiteral("/user.key");
}

QByteArray DataProtection::secret(bool create) const
{
    if (m_folder.isEmpty())
        return QByteArray();
    QByteArray secret = readSecretFile(secretPath());
    if (!secret.isEmpty() || !create)
        return secret;
    if (!makePrivateFolder(m_folder))
        return QByteArray();
    secret.resize(kSecretSize);
    if (RAND_bytes(bytes(secret), kSecretSize) != 1 || !writePrivateFile(secretPath(), secret))
        return QByteArray();
    return secret;
}

QByteArray DataProtection::deriveKey(const QByteArray &secret, const QByteArray &entropy)
{
    if (secret.isEmpty())
        return QByteArray();
    const QByteArray info = QByteArray(kInfoPrefix) + entropy;
    PkeyCtx ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_HKDF, nullptr));
    QByteArray key(kKeySize, '\0');
    size_t keyLength = size_t(key.size());
    if (!ctx || EVP_PKEY_derive_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_hkdf_md(ctx.get(), EVP_sha256()) <= 0 ||
        EVP_PKEY_CTX_set1_hkdf_salt(ctx.get(), reinterpret_cast<const unsigned char *>(kSalt),
                                    int(sizeof kSalt - 1)) <= 0 ||
        EVP_PKEY_CTX_set1_hkdf_key(ctx.get(), bytes(secret), int(secret.size())) <= 0 ||
        EVP_PKEY_CTX_add1_hkdf_info(ctx.get(), bytes(info), int(info.size())) <= 0 ||
        EVP_PKEY_derive(ctx.get(), bytes(key), &keyLength) <= 0 || keyLength != size_t(kKeySize))
        return QByteArray();
    return key;
}

bool DataProtection::seal(const QByteArray &plain, const QByteArray &key, QByteArray *blob)
{
    if (!blob || key.size() != kKeySize || plain.size() > INT_MAX - kOverhead)
        return false;
    QByteArray out(kOverhead + plain.size(), '\0');
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    out[4] = kVersion;
    unsigned char *nonce = bytes(out) + kHeaderSize;
    unsigned char *tag = nonce + kNonceSize;
    unsigned char *cipher = tag + kTagSize;
    if (RAND_bytes(nonce, kNonceSize) != 1)
        return false;

    CipherCtx ctx(EVP_CIPHER_CTX_new());
    int n = 0;
    int tail = 0;
    if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) != 1 ||
        EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, bytes(key), nonce) != 1 ||
        EVP_EncryptUpdate(ctx.get(), nullptr, &n, bytes(out), kHeaderSize) != 1 ||
        (!plain.isEmpty() &&
         EVP_EncryptUpdate(ctx.get(), cipher, &n, bytes(plain), int(plain.size())) != 1) ||
        EVP_EncryptFinal_ex(ctx.get(), cipher + (plain.isEmpty() ? 0 : n), &tail) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTagSize, tag) != 1)
        return false;
    *blob = out;
    return true;
}

bool DataProtection::open(const QByteArray &blob, const QByteArray &key, QByteArray *plain)
{
    if (!plain || key.size() != kKeySize || blob.size() < kOverhead)
        return false;
    if (std::memcmp(blob.constData(), kMagic, sizeof kMagic) != 0 || blob.at(4) != kVersion)
        return false;
    const unsigned char *nonce = bytes(blob) + kHeaderSize;
    const unsigned char *tag = nonce + kNonceSize;
    const unsigned char *cipher = tag + kTagSize;
    const int cipherSize = int(blob.size() - kOverhead);

    QByteArray out(cipherSize, '\0');
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    int n = 0;
    int tail = 0;
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) != 1 ||
        EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, bytes(key), nonce) != 1 ||
        EVP_DecryptUpdate(ctx.get(), nullptr, &n, bytes(blob), kHeaderSize) != 1 ||
        (cipherSize > 0 && EVP_DecryptUpdate(ctx.get(), bytes(out), &n, cipher, cipherSize) != 1) ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagSize, const_cast<unsigned char *>(tag)) !=
            1 ||
        EVP_DecryptFinal_ex(ctx.get(), bytes(out) + (cipherSize > 0 ? n : 0), &tail) != 1)
        return false;
    *plain = out;
    return true;
}

bool DataProtection::protect(const QByteArray &plain, const QByteArray &entropy, QByteArray *blob) const
{
    return seal(plain, deriveKey(secret(true), entropy), blob);
}

bool DataProtection::unprotect(const QByteArray &blob, const QByteArray &entropy, QByteArray *plain) const
{
    // Cheap refusals first: no secret file is touched for a blob that cannot be ours.
    if (!plain || blob.size() < kOverhead || std::memcmp(blob.constData(), kMagic, sizeof kMagic) != 0)
        return false;
    return open(blob, deriveKey(secret(false), entropy), plain);
}
