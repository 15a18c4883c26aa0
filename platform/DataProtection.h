#pragma once
// Protects small blobs for the current user of this machine: what a blob holds
// opens again only with the same user's secret and the same entropy. The
// secret is 32 random bytes in a file only the user can read, kept in the
// user's configuration folder (apart from the data it protects, so a copied
// data folder does not carry its key along). Blobs are AES-256-GCM with a key
// derived by HKDF-SHA256 from the secret and the entropy.
//
// Blob: "QXDP", version 1, 12-byte nonce, 16-byte tag, ciphertext. The first
// five bytes are authenticated too, so a blob of another format or version is
// refused rather than misread.

#include <QByteArray>
#include <QString>

class DataProtection
{
public:
    static constexpr int kSecretSize = 32;
    static constexpr int kKeySize = 32;
    static constexpr int kNonceSize = 12;
    static constexpr int kTagSize = 16;
    static constexpr int kHeaderSize = 5; // magic + version
    static constexpr int kOverhead = kHeaderSize + kNonceSize + kTagSize;

    // The secret lives in secretFolder ("user.key"); the default is the user's
    // configuration location + "/Quorlix/protection".
    explicit DataProtection(const QString &secretFolder = defaultSecretFolder());
    static QString defaultSecretFolder();
    QString secretFolder() const { return m_folder; }
    QString secretPath() const;

    // Encrypts plain for this user, bound to entropy (which may be empty). The
    // secret is made when it is missing or unusable; blobs made with an earlier
    // secret then no longer open. False when no secret could be had or the
    // cipher failed; blob is then left alone.
    bool protect(const QByteArray &plain, const QByteArray &entropy, QByteArray *blob) const;
    // Opens a blob of protect with the same entropy. False, plain untouched, for
    // anything else: another secret or entropy, a cut or altered blob, no secret.
    bool unprotect(const QByteArray &blob, const QByteArray &entropy, QByteArray *plain) const;

    // The blob format with a key in hand.
    static QByteArray deriveKey(const QByteArray &secret, const QByteArray &entropy);
    static bool seal(const QByteArray &plain, const QByteArray &key, QByteArray *blob);
    static bool open(const QByteArray &blob, const QByteArray &key, QByteArray *plain);

private:
    // The secret's bytes, or empty when there is no usable one (and create is
    // false or making one failed).
    QByteArray secret(bool create) const;

    QString m_folder;
};
