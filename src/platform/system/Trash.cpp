#include "platform/system/Trash.h"
#include "platform/foundation/Translation.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tx {

namespace {

const char* const kTrashDomain = "Trash";

Trash::Handler& handler() {
    static auto* installed = new Trash::Handler();
    return *installed;
}

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() !=
           std::filesystem::file_type::not_found;
}

} // namespace

void Trash::setHandler(Handler handler) {
    tx::handler() = std::move(handler);
}

bool Trash::moveToTrash(const std::string& path, ErrorPtr* error) {
    if (tx::handler()) {
        return tx::handler()(path, error);
    }
    if (!exists(path)) {
        return true;
    }
    if (QFile::moveToTrash(QString::fromStdString(path))) {
        return true;
    }
    // No trash on this file's disk, or none at all: remove the file instead.
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (!ec && !exists(path)) {
        return true;
    }
    if (error != nullptr) {
        const std::string cause = ec ? ec.message() : _("it is still there");
        *error = Error::make(kTrashDomain, ec ? ec.value() : 0,
                             withArguments(_("\"%1\" could not be deleted: %2."),
                                           {std::filesystem::path(path).filename().string(),
                                            cause}));
    }
    return false;
}

} // namespace tx
