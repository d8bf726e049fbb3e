#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace quillon::records::test {

// A PostgreSQL server of the test's own: a fresh cluster in a temporary folder, listening on
// 127.0.0.1 only, run as an unprivileged user (the server refuses root; when the test runs as
// root it runs the server as "nobody"). It has the role "station" (password "station-pw")
// owning the database "quillon". Stopped and removed when the object goes.
class PostgresServer {
  public:
    PostgresServer() = default;
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Whether the server's programs are installed; the reason when not.
    static bool Installed(std::string& whyNot);

    // Creates the cluster and starts the server; false with the reason.
    bool Start(std::string& error);
    // Stops it: at once (as a crash would) or after its connections ended.
    void Stop(bool immediately);
    // Starts it again on the same port and files.
    bool Restart(std::string& error);

    std::string Url(const std::string& password = "station-pw") const;
    std::string SuperuserUrl() const;
    int Port() const { return port_; }

  private:
    bool Launch(std::string& error);

    std::filesystem::path folder_;
    int port_ = 0;
    pid_t server_ = -1;
};

// Runs one statement (or several, without parameters) on a server as the given URL's user;
// the first value of the first row, or the error text. For checks and set-up in tests.
std::string QueryValue(const std::string& url, const std::string& statement);

// Skips the test with the reason when the server's programs are missing, or fails it under CI,
// which installs them.
#define QUILLON_REQUIRE_POSTGRES()                                          \
    do {                                                                    \
        std::string whyNot;                                                 \
        if (!::quillon::records::test::PostgresServer::Installed(whyNot)) { \
            if (std::getenv("CI") != nullptr) {                             \
                FAIL() << whyNot;                                           \
            }                                                               \
            GTEST_SKIP() << whyNot;                                         \
        }                                                                   \
    } while (false)

}  // namespace quillon::records::test
