// A folder private to one benchmark run (mode 0700, under $TMPDIR or /tmp) for the files the
// peer programs read and write. It is removed at normal exit and on SIGINT, SIGTERM, SIGHUP
// and SIGQUIT; two runs at once each have their own.
#pragma once

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace bench {

class PrivateFolder {
public:
    static const std::string& Path() {
        static const std::string path = Create();
        return path;
    }

private:
    static constexpr size_t kMax = 4096;
    // The path in a fixed buffer: the signal handler may not allocate.
    static char* Buffer() {
        static char path[kMax] = {};
        return path;
    }

    // Unlinks every entry and the folder itself; async-signal-safe apart from opendir,
    // which only allocates, so it is tolerated on the way out.
    static void Remove() {
        char* dir = Buffer();
        if (!dir[0]) return;
        if (DIR* d = opendir(dir)) {
            while (dirent* e = readdir(d)) {
                if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
                char file[kMax + 256];
                const size_t a = std::strlen(dir), b = std::strlen(e->d_name);
                if (a + 1 + b + 1 > sizeof file) continue;
                std::memcpy(file, dir, a);
                file[a] = '/';
                std::memcpy(file + a + 1, e->d_name, b + 1);
                unlink(file);
            }
            closedir(d);
        }
        rmdir(dir);
        dir[0] = 0;
    }

    static void OnSignal(int sig) {
        Remove();
        signal(sig, SIG_DFL);
        raise(sig);
    }

    static std::string Create() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumetra-bench-XXXXXX";
        if (pattern.size() + 1 > kMax || !mkdtemp(pattern.data())) {
            std::fprintf(stderr, "cannot create a private folder for the benchmark\n");
            std::exit(1);
        }
        std::memcpy(Buffer(), pattern.c_str(), pattern.size() + 1);
        std::atexit(Remove);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) signal(sig, OnSignal);
        return pattern;
    }
};

// Runs a shell command with its output thrown away and its temporary files in the private
// folder; false when it failed.
inline bool RunQuiet(const std::string& command) {
    return std::system(("TMPDIR='" + PrivateFolder::Path() + "' " + command + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace bench
