#pragma once

class QString;

namespace NetworkShare {

// Whether folder lies on a file system whose changes made elsewhere are
// never told to this machine: NFS, SMB/CIFS, FUSE (sshfs and the like), 9P,
// AFS, Ceph. False where that cannot be told (other systems than Linux).
//
// BELMORAND_FAKE_FS_TYPE (a statfs f_type, such as 0x6969 for NFS) stands in
// for every folder's real type, so tests can have a share without a server.
bool isNetworkFolder(const QString &folder);

} // namespace NetworkShare
