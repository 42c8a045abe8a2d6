#include "posix_io.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace ordalix::platform::posix {

void Fd::reset(int fd) {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

int Fd::release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

std::string errorText(int error) {
    switch (error) {
    case EPERM:
        return "opération non permise";
    case ENOENT:
        return "fichier ou dossier introuvable";
    case EIO:
        return "erreur d'entrée-sortie";
    case ENXIO:
    case ENODEV:
        return "périphérique introuvable";
    case EBADF:
        return "descripteur de fichier non valide";
    case EAGAIN:
        return "ressource momentanément indisponible";
    case ENOMEM:
        return "mémoire insuffisante";
    case EACCES:
        return "permission refusée";
    case EBUSY:
        return "périphérique ou ressource occupé";
    case EEXIST:
        return "le fichier existe déjà";
    case EXDEV:
        return "lien entre deux volumes différents";
    case ENOTDIR:
        return "ce n'est pas un dossier";
    case EISDIR:
        return "c'est un dossier";
    case EINVAL:
        return "argument non valide";
    case ENFILE:
    case EMFILE:
        return "trop de fichiers ouverts";
    case ETXTBSY:
        return "fichier en cours d'utilisation";
    case EFBIG:
        return "fichier trop gros";
    case ENOSPC:
        return "plus de place sur le disque";
    case ESPIPE:
        return "déplacement impossible dans ce fichier";
    case EROFS:
        return "système de fichiers en lecture seule";
    case EMLINK:
        return "trop de liens";
    case EPIPE:
        return "tube coupé";
    case ENAMETOOLONG:
        return "nom trop long";
    case ENOTEMPTY:
        return "dossier non vide";
    case ELOOP:
        return "trop de liens symboliques à suivre";
    case EOPNOTSUPP:
        return "opération non prise en charge";
    case EDQUOT:
        return "quota de disque dépassé";
    case ESTALE:
        return "fichier distant disparu";
    case ENOTCONN:
    case ETIMEDOUT:
    case EHOSTUNREACH:
        return "volume distant injoignable";
    case EINTR:
        return "appel interrompu";
    default:
        return "erreur système " + std::to_string(error);
    }
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace ordalix::platform::posix
