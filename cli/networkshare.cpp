#include "cli/networkshare.h"

#include <QFile>
#include <QString>

#ifdef Q_OS_LINUX
#include <sys/vfs.h>

#include <algorithm>
#include <array>

namespace {

// statfs f_type values, as <linux/magic.h> and the file systems' sources
// name them.
constexpr std::array<quint32, 9> NetworkTypes {
        0x6969, // NFS_SUPER_MAGIC
        0x517B, // SMB_SUPER_MAGIC
        0xFE534D42, // SMB2_MAGIC_NUMBER
        0xFF534D42, // CIFS_MAGIC_NUMBER
        0x65735546, // FUSE_SUPER_MAGIC
        0x01021997, // V9FS_MAGIC
        0x5346414F, // AFS_SUPER_MAGIC
        0x6B414653, // AFS_FS_MAGIC (kAFS)
        0x00C36400, // CEPH_SUPER_MAGIC
};

const char FakeTypeVariable[] = "BELMORAND_FAKE_FS_TYPE";

bool typeOf(const QString &folder, quint32 *type)
{
    const QByteArray fake = qgetenv(FakeTypeVariable);
    if (!fake.isEmpty()) {
        bool ok = false;
        *type = fake.toUInt(&ok, 0);
        return ok;
    }
    struct statfs info = {};
    if (::statfs(QFile::encodeName(folder).constData(), &info) != 0)
        return false;
    // f_type is signed on some architectures: the magic's bits are what count.
    *type = quint32(info.f_type);
    return true;
}

} // namespace

bool NetworkShare::isNetworkFolder(const QString &folder)
{
    quint32 type = 0;
    return typeOf(folder, &type)
           && std::find(NetworkTypes.begin(), NetworkTypes.end(), type) != NetworkTypes.end();
}

#else

bool NetworkShare::isNetworkFolder(const QString &)
{
    return false;
}

#endif
