#include "platform/core/error.h"

#include <cerrno>

namespace ce {

Error errorFromErrno(int err) {
    switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
    case EAGAIN: return ERROR_SHARING_VIOLATION;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG: return ERROR_BAD_PATHNAME;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EFBIG: return ERROR_WRITE_FAULT;
    case EIO: return ERROR_GEN_FAILURE;
    case ENODEV:
    case ENXIO: return ERROR_DEV_NOT_EXIST;
    case ENOTSUP: return ERROR_NOT_SUPPORTED;
    case ETIMEDOUT: return ERROR_TIMEOUT;
    case ECANCELED: return ERROR_REQUEST_ABORTED;
    case ELOOP: return ERROR_CANT_ACCESS_FILE;  // O_NOFOLLOW met a link
    default: return ERROR_GEN_FAILURE;
    }
}

}  // namespace ce
