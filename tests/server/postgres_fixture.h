#pragma once
// A PostgreSQL server of the tests' own: Debian's postgresql binaries, a cluster made with
// initdb in a temporary folder and started with pg_ctl on a Unix socket in that folder, once
// per test program (at the first test that asks) and stopped when the program ends. Run by
// root, the cluster belongs to and runs as "nobody": PostgreSQL refuses to run as root. Each
// test gets a fresh database of its own.

#include <libpq-fe.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace plashwerk::test {

class PostgresCluster {
  public:
    /// The cluster, started on the first call; available() says whether that worked.
    static PostgresCluster& get() {
        static PostgresCluster cluster;
        return cluster;
    }
    bool available() const { return m_running; }
    /// Why it is not available.
    const std::string& reason() const { return m_reason; }

    /// A connection URI of a new, empty database; empty when it could not be made.
    std::string freshDatabase() {
        const std::string name = "scores_" + std::to_string(++m_databases);
        PGconn* admin = PQconnectdb(uri("postgres").c_str());
        PGresult* result = PQexec(admin, ("CREATE DATABASE " + name).c_str());
        const bool made = PQresultStatus(result) == PGRES_COMMAND_OK;
        if (!made) m_reason = PQerrorMessage(admin);
        PQclear(result);
        PQfinish(admin);
        return made ? uri(name) : std::string();
    }
    std::string uri(const std::string& database) const {
        return "postgresql://plashwerk@/" + database + "?host=" + m_folder + "/run&port=5432";
    }

    ~PostgresCluster() {
        // Only the process that started it stops it (a test's forked child must not).
        if (getpid() != m_owner) return;
        if (m_running) run(m_bin + "/pg_ctl -D " + m_folder + "/data -m immediate -s stop");
        if (!m_folder.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_folder, ignored);
        }
    }
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

  private:
    PostgresCluster() : m_owner(getpid()) {
        FILE* config = popen("pg_config --bindir 2>/dev/null", "r");
        char line[512] = "";
        if (config) {
            if (!fgets(line, sizeof line, config)) line[0] = '\0';
            pclose(config);
        }
        m_bin = line;
        while (!m_bin.empty() && (m_bin.back() == '\n' || m_bin.back() == ' ')) m_bin.pop_back();
        if (m_bin.empty() || access((m_bin + "/initdb").c_str(), X_OK) != 0 ||
            access((m_bin + "/pg_ctl").c_str(), X_OK) != 0) {
            m_reason = "PostgreSQL's initdb and pg_ctl are not installed (package postgresql)";
            return;
        }
        char pattern[] = "/tmp/plashwerk_postgres_XXXXXX";
        if (!mkdtemp(pattern)) {
            m_reason = "no temporary folder";
            return;
        }
        m_folder = pattern;
        chmod(m_folder.c_str(), 0755);
        std::filesystem::create_directory(m_folder + "/run");
        std::filesystem::create_directory(m_folder + "/data");
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (!nobody) {
                m_reason = "running as root, and there is no user nobody to run PostgreSQL";
                return;
            }
            for (const char* sub : {"/run", "/data"}) {
                if (chown((m_folder + sub).c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
                    m_reason = "cannot give the cluster's folders to nobody";
                    return;
                }
            }
            m_as = "runuser -u nobody -- ";
        }
        chmod((m_folder + "/data").c_str(), 0700);
        // No fsync: a test cluster that dies is thrown away anyway.
        if (!run(m_bin + "/initdb -D " + m_folder +
                 "/data -U plashwerk -A trust -E UTF8 --no-sync --no-instructions")) {
            m_reason = "initdb failed";
            return;
        }
        if (!run(m_bin + "/pg_ctl -D " + m_folder + "/data -l " + m_folder +
                 "/data/server.log -w -s -o \"-k " + m_folder +
                 "/run -c listen_addresses='' -p 5432 -c fsync=off -c full_page_writes=off "
                 "-c max_connections=200\" start")) {
            m_reason = "pg_ctl start failed";
            return;
        }
        m_running = true;
    }

    bool run(const std::string& command) const {
        return std::system((m_as + command + " >/dev/null 2>&1").c_str()) == 0;
    }

    pid_t m_owner;
    std::string m_bin;
    std::string m_folder;
    std::string m_as;
    std::string m_reason;
    bool m_running = false;
    int m_databases = 0;
};

}  // namespace plashwerk::test
