#include "error_text_win32.h"

#include <cerrno>

#include <windows.h>

namespace ordalix::platform::win32 {

// The wording follows the Linux build's, so that a refusal reads the same on both systems.
std::wstring frenchErrorText(unsigned long error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return L"fichier ou dossier introuvable";
    case ERROR_ACCESS_DENIED:
        return L"permission refus\u00E9e";
    case ERROR_TOO_MANY_OPEN_FILES:
        return L"trop de fichiers ouverts";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return L"m\u00E9moire insuffisante";
    case ERROR_NOT_SAME_DEVICE:
        return L"lien entre deux volumes diff\u00E9rents";
    case ERROR_WRITE_PROTECT:
        return L"support prot\u00E9g\u00E9 en \u00E9criture";
    case ERROR_NOT_READY:
        return L"p\u00E9riph\u00E9rique non pr\u00EAt";
    case ERROR_CRC:
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_IO_DEVICE:
        return L"erreur d'entr\u00E9e-sortie";
    case ERROR_SHARING_VIOLATION:
        return L"fichier en cours d'utilisation par un autre programme";
    case ERROR_LOCK_VIOLATION:
        return L"fichier verrouill\u00E9 par un autre programme";
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
        return L"plus de place sur le disque";
    case ERROR_NETWORK_ACCESS_DENIED:
        return L"acc\u00E8s au r\u00E9seau refus\u00E9";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return L"le fichier existe d\u00E9j\u00E0";
    case ERROR_INVALID_PARAMETER:
        return L"argument non valide";
    case ERROR_INVALID_NAME:
        return L"nom de fichier ou de dossier non valide";
    case ERROR_DIR_NOT_EMPTY:
        return L"dossier non vide";
    case ERROR_FILENAME_EXCED_RANGE:
        return L"nom trop long";
    case ERROR_FILE_TOO_LARGE:
        return L"fichier trop gros";
    case ERROR_DIRECTORY:
        return L"ce n'est pas un dossier";
    case ERROR_CANCELLED:
    case ERROR_REQUEST_ABORTED:
    case ERROR_OPERATION_ABORTED:
        return L"op\u00E9ration annul\u00E9e";
    case ERROR_PRIVILEGE_NOT_HELD:
        return L"privil\u00E8ge requis";
    case ERROR_UNABLE_TO_REMOVE_REPLACED:
        return L"le fichier remplac\u00E9 n'a pas pu \u00EAtre \u00F4t\u00E9";
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
        return L"le nouveau fichier n'a pas pu prendre sa place";
    default:
        return {};
    }
}

std::wstring frenchErrnoText(int error) {
    switch (error) {
    case EPERM:
        return L"op\u00E9ration non permise";
    case ENOENT:
        return L"fichier ou dossier introuvable";
    case EIO:
        return L"erreur d'entr\u00E9e-sortie";
    case ENOMEM:
        return L"m\u00E9moire insuffisante";
    case EACCES:
        return L"permission refus\u00E9e";
    case EBUSY:
        return L"p\u00E9riph\u00E9rique ou ressource occup\u00E9";
    case EEXIST:
        return L"le fichier existe d\u00E9j\u00E0";
    case EXDEV:
        return L"lien entre deux volumes diff\u00E9rents";
    case ENOTDIR:
        return L"ce n'est pas un dossier";
    case EISDIR:
        return L"c'est un dossier";
    case EINVAL:
        return L"argument non valide";
    case EMFILE:
    case ENFILE:
        return L"trop de fichiers ouverts";
    case EFBIG:
        return L"fichier trop gros";
    case ENOSPC:
        return L"plus de place sur le disque";
    case EROFS:
        return L"syst\u00E8me de fichiers en lecture seule";
    case ENAMETOOLONG:
        return L"nom trop long";
    case ENOTEMPTY:
        return L"dossier non vide";
    default:
        return {};
    }
}

} // namespace ordalix::platform::win32
