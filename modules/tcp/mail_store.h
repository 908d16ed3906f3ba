// Mail files under "mail_save/<dotted router address>/": written under a
// hidden temporary name in the router's folder and renamed when complete, so
// a mail file is either whole or absent.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tcp {

// "%u.%u.%u.%u" from the lowest byte of a dwIP to its highest.
std::string dotted_router(uint32_t dwip);

// One message being written. Destroyed before commit() succeeded, it removes
// its temporary file.
class mail_file {
public:
    ~mail_file();
    mail_file(const mail_file&) = delete;
    mail_file& operator=(const mail_file&) = delete;

    bool write(std::string_view bytes);
    // Flushes the file to disk and gives it its final name,
    // "YYYYMMDD-HHMMSS-<sequence>.eml" (local receive time); false when that
    // fails, and the file is gone.
    bool commit(std::string& final_name);

private:
    friend class mail_store;
    mail_file(int fd, std::string dir, std::string temp_path);

    int fd_;
    bool failed_ = false;
    std::string dir_;
    std::string temp_path_;
};

class mail_store {
public:
    // `root`: the "mail_save" folder, created when needed.
    explicit mail_store(std::string root) : root_(std::move(root)) { }

    // A new temporary file in the router's folder (created when missing),
    // null when it cannot be created.
    std::unique_ptr<mail_file> begin(uint32_t dwip) const;

private:
    std::string root_;
};

}  // namespace tcp
