#include "device/records/tests/PostgresServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/TempDirectory.h"

namespace quillon::records::test {
namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

const char* const kSuperuserPassword = "super-pw";

// The newest installed server's programs, as Debian lays them out.
fs::path ServerBin() {
    fs::path best;
    int bestVersion = -1;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error)) {
        const int version = std::atoi(entry.path().filename().c_str());
        if (version > bestVersion && fs::exists(entry.path() / "bin" / "postgres") &&
            fs::exists(entry.path() / "bin" / "initdb")) {
            best = entry.path() / "bin";
            bestVersion = version;
        }
    }
    return best;
}

// The user the server runs as: this one, or "nobody" when this is root.
bool ServerUser(uid_t& uid, gid_t& gid) {
    uid = ::geteuid();
    gid = ::getegid();
    if (uid != 0) {
        return true;
    }
    const passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr) {
        return false;
    }
    uid = nobody->pw_uid;
    gid = nobody->pw_gid;
    return true;
}

// Starts a program as the server's user, its output appended to the log, in the folder given.
pid_t Spawn(const std::vector<std::string>& arguments, const fs::path& log,
            const fs::path& folder) {
    uid_t uid;
    gid_t gid;
    if (!ServerUser(uid, gid)) {
        return -1;
    }
    const bool switchUser = ::geteuid() == 0;
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    char lcAll[] = "LC_ALL=C";
    char path[] = "PATH=/usr/bin:/bin";
    char* environment[] = {lcAll, path, nullptr};
    const int output = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (output < 0 || input < 0) {
        return -1;
    }
    const std::string directory = folder.string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only calls that are safe between fork and exec from here on.
        ::dup2(input, STDIN_FILENO);
        ::dup2(output, STDOUT_FILENO);
        ::dup2(output, STDERR_FILENO);
        if (::chdir(directory.c_str()) != 0) {
            ::_exit(126);
        }
        if (switchUser &&
            (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) {
            ::_exit(126);
        }
        // A test that dies takes its server along (set after the change of user, which
        // clears it).
        ::prctl(PR_SET_PDEATHSIG, SIGQUIT);
        ::execve(argv[0], argv.data(), environment);
        ::_exit(127);
    }
    ::close(output);
    ::close(input);
    return pid;
}

// The exit status of a child, waiting at most `limit`; -1 when it did not end in time.
int WaitFor(pid_t pid, std::chrono::milliseconds limit) {
    const Steady::time_point deadline = Steady::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (done < 0 || Steady::now() > deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string Tail(const fs::path& log) {
    std::ifstream file(log);
    std::stringstream text;
    text << file.rdbuf();
    const std::string all = text.str();
    return all.size() > 2000 ? all.substr(all.size() - 2000) : all;
}

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

}  // namespace

bool PostgresServer::Installed(std::string& whyNot) {
    if (ServerBin().empty()) {
        whyNot =
            "the PostgreSQL server's programs (initdb, postgres) are not installed under "
            "/usr/lib/postgresql/*/bin (Debian's package postgresql; scripts/install-deps.sh "
            "installs it)";
        return false;
    }
    uid_t uid;
    gid_t gid;
    if (!ServerUser(uid, gid)) {
        whyNot = "the server refuses to run as root, and there is no user \"nobody\" to run it as";
        return false;
    }
    return true;
}

PostgresServer::~PostgresServer() {
    Stop(false);
    if (!folder_.empty()) {
        std::error_code error;
        fs::remove_all(folder_, error);
    }
}

bool PostgresServer::Start(std::string& error) {
    uid_t uid;
    gid_t gid;
    if (!Installed(error) || !ServerUser(uid, gid)) {
        return false;
    }
    folder_ = quillon::test::MakeTempDirectory("quillon-pg-");
    if (folder_.empty()) {
        error = "cannot make a temporary folder";
        return false;
    }
    const fs::path passwordFile = folder_ / "superuser-password";
    std::ofstream(passwordFile) << kSuperuserPassword << "\n";
    if (::chown(folder_.c_str(), uid, gid) != 0 || ::chown(passwordFile.c_str(), uid, gid) != 0) {
        error = "cannot hand the temporary folder to the server's user";
        return false;
    }
    const fs::path bin = ServerBin();
    const fs::path log = folder_ / "initdb.log";
    const pid_t initdb = Spawn({(bin / "initdb").string(), "-D", (folder_ / "data").string(), "-U",
                                "postgres", "--pwfile=" + passwordFile.string(),
                                "--auth=scram-sha-256", "--no-sync", "-E", "UTF8", "--locale=C"},
                               log, folder_);
    if (initdb < 0 || WaitFor(initdb, std::chrono::minutes(2)) != 0) {
        error = "initdb failed:\n" + Tail(log);
        return false;
    }
    port_ = FreePort();
    if (!Launch(error)) {
        return false;
    }
    for (const char* statement : {"CREATE ROLE station LOGIN PASSWORD 'station-pw'",
                                  "CREATE DATABASE quillon OWNER station"}) {
        const std::string answer = QueryValue(SuperuserUrl(), statement);
        if (!answer.empty()) {
            error = std::string(statement) + ": " + answer;
            return false;
        }
    }
    return true;
}

bool PostgresServer::Launch(std::string& error) {
    const fs::path log = folder_ / "server.log";
    server_ = Spawn({(ServerBin() / "postgres").string(), "-D", (folder_ / "data").string(), "-p",
                     std::to_string(port_), "-c", "listen_addresses=127.0.0.1", "-c",
                     "unix_socket_directories=", "-c", "fsync=off", "-c", "full_page_writes=off"},
                    log, folder_);
    if (server_ < 0) {
        error = "cannot start the server";
        return false;
    }
    const Steady::time_point deadline = Steady::now() + std::chrono::minutes(1);
    while (PQping(SuperuserUrl().c_str()) != PQPING_OK) {
        int status = 0;
        if (::waitpid(server_, &status, WNOHANG) == server_) {
            server_ = -1;
            error = "the server ended at its start:\n" + Tail(log);
            return false;
        }
        if (Steady::now() > deadline) {
            error = "the server did not accept connections within a minute:\n" + Tail(log);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

void PostgresServer::Stop(bool immediately) {
    if (server_ <= 0) {
        return;
    }
    ::kill(server_, immediately ? SIGQUIT : SIGINT);
    if (WaitFor(server_, std::chrono::seconds(60)) < 0) {
        ::kill(server_, SIGKILL);
        WaitFor(server_, std::chrono::seconds(10));
    }
    server_ = -1;
}

bool PostgresServer::Restart(std::string& error) {
    return Launch(error);
}

std::string PostgresServer::Url(const std::string& password) const {
    return "postgresql://station:" + password + "@127.0.0.1:" + std::to_string(port_) + "/quillon";
}

std::string PostgresServer::SuperuserUrl() const {
    return std::string("postgresql://postgres:") + kSuperuserPassword +
           "@127.0.0.1:" + std::to_string(port_) + "/postgres";
}

std::string QueryValue(const std::string& url, const std::string& statement) {
    PGconn* connection = PQconnectdb(url.c_str());
    std::string answer;
    if (PQstatus(connection) != CONNECTION_OK) {
        answer = std::string("ERROR: ") + PQerrorMessage(connection);
    } else {
        PGresult* result = PQexec(connection, statement.c_str());
        if (PQresultStatus(result) == PGRES_TUPLES_OK) {
            answer = PQntuples(result) > 0 && PQnfields(result) > 0 ? PQgetvalue(result, 0, 0) : "";
        } else if (PQresultStatus(result) != PGRES_COMMAND_OK) {
            answer = std::string("ERROR: ") + PQresultErrorMessage(result);
        }
        PQclear(result);
    }
    PQfinish(connection);
    return answer;
}

}  // namespace quillon::records::test
