// Loading an image from a URL.
#include "imaging/io/vovozidio_url.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_startup.h"
#include "platform/codepage.h"

namespace ie {

bool IEURLVerifyCertificates = true;
int32_t IEURLStallSeconds = 60;
int32_t IEURLTimeoutSeconds = 300;
int64_t IEURLMaxBytes = int64_t{128} << 20;

namespace {

bool StartsWithNoCase(const cl::String& s, const char* prefix) {
    const size_t n = std::char_traits<char>::length(prefix);
    if (s.size() < n) return false;
    return cl::LowerCase(s.substr(0, n)) == prefix;
}

// A decimal port from 1 to 65535, or 0.
int32_t ParsePort(const cl::String& text) {
    if (text.empty() || text.size() > 5) return 0;
    int32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + (c - '0');
    }
    return v >= 1 && v <= 65535 ? v : 0;
}

// Percent-encodes what a URL cannot carry raw.
cl::String Escape(const cl::String& s, bool keepSlash) {
    static const char* hex = "0123456789ABCDEF";
    cl::String out;
    for (unsigned char c : s) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~' || (keepSlash && c == '/') ||
                           (keepSlash && (c == '?' || c == '=' || c == '&' || c == '%' || c == '+' || c == ';' ||
                                          c == ',' || c == ':' || c == '@' || c == '!' || c == '$' || c == '\'' ||
                                          c == '(' || c == ')' || c == '*'));
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

struct Transfer {
    cl::TMemoryStream* Stream = nullptr;
    std::atomic<bool>* Aborting = nullptr;
    cl::TObject* Sender = nullptr;
    TIEProgressFnc Fnc = nullptr;
    void* Data = nullptr;
    int64_t Limit = 0;
    int64_t Announced = -1;  // the Content-Length of the latest answer, -1 without one
    int64_t Received = 0;
    bool TooLarge = false;
    bool WriteFailed = false;
    // Nothing received for StallMs milliseconds ends the transfer (0: never).
    int64_t StallMs = 0;
    curl_off_t LastBytes = 0;
    std::chrono::steady_clock::time_point LastChange = std::chrono::steady_clock::now();
    bool Stalled = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t->Aborting && t->Aborting->load()) return 0;
    // A body without an announced length is refused as soon as it passes the limit.
    if (n > static_cast<uint64_t>(t->Limit - t->Received)) {
        t->TooLarge = true;
        return 0;
    }
    try {
        if (t->Stream->Write(data, static_cast<int64_t>(n)) != static_cast<int64_t>(n)) {
            t->WriteFailed = true;
            return 0;
        }
    } catch (...) {
        // No exception may cross the internet library.
        t->WriteFailed = true;
        return 0;
    }
    t->Received += static_cast<int64_t>(n);
    return n;
}

// Notes the length the latest answer announces (each answer of a redirection starts with
// its status line). The library does not report it when it refuses the body on that length,
// and the refusal's message names it.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    const cl::String line(data, n);
    if (line.rfind("HTTP/", 0) == 0) {
        t->Announced = -1;
    } else if (StartsWithNoCase(line, "content-length:")) {
        int64_t v = 0;
        size_t i = 15;
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const size_t first = i;
        for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
            if (v > (INT64_MAX - (line[i] - '0')) / 10) return n;  // beyond any length: not noted
            v = v * 10 + (line[i] - '0');
        }
        if (i > first) t->Announced = v;
    }
    return n;
}

int OnProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    if (t->Aborting && t->Aborting->load()) return 1;
    const auto clock = std::chrono::steady_clock::now();
    if (now != t->LastBytes) {
        t->LastBytes = now;
        t->LastChange = clock;
    } else if (t->StallMs > 0 &&
               std::chrono::duration_cast<std::chrono::milliseconds>(clock - t->LastChange).count() >= t->StallMs) {
        t->Stalled = true;
        return 1;
    }
    if (t->Fnc && total > 0 && now > 0)
        t->Fnc(t->Data, t->Sender,
               static_cast<int32_t>(std::nearbyint(static_cast<double>(now) * (100.0 / static_cast<double>(total)))));
    // The handler may have asked to stop.
    return t->Aborting && t->Aborting->load() ? 1 : 0;
}

// "host:port" of the server, or of the proxy when one is used (without anything before an
// "@", where credentials could stand).
cl::String Peer(const TIEURLParts& Parts, const cl::String& Proxy) {
    if (Proxy.empty()) return Parts.Host + ":" + std::to_string(Parts.Port);
    const size_t at = Proxy.rfind('@');
    return "the proxy " + (at == cl::String::npos ? Proxy : Proxy.substr(at + 1));
}

bool HasAcceptedScheme(const cl::String& URL) {
    return StartsWithNoCase(URL, "http://") || StartsWithNoCase(URL, "https://") || StartsWithNoCase(URL, "ftp://");
}

std::mutex gLastErrorLock;
cl::String gLastError;

void SetLastURLError(const cl::String& Text) {
    std::lock_guard<std::mutex> lock(gLastErrorLock);
    gLastError = Text;
}

std::once_flag gCurlInit;
bool gCurlReady = false;

}  // namespace

bool IEParseURL(const cl::String& URL, TIEURLParts& Parts) {
    Parts = TIEURLParts{};
    cl::String rest;
    int32_t defaultPort = 0;
    if (StartsWithNoCase(URL, "http://")) {
        Parts.Kind = 1;
        rest = URL.substr(7);
        defaultPort = 80;
    } else if (StartsWithNoCase(URL, "https://")) {
        Parts.Kind = 2;
        rest = URL.substr(8);
        defaultPort = 443;
    } else if (StartsWithNoCase(URL, "ftp://")) {
        Parts.Kind = 3;
        rest = URL.substr(6);
        defaultPort = 21;
    } else {
        return false;
    }
    const size_t slash = rest.find('/');
    if (slash == cl::String::npos) return false;  // a bare host is not accepted
    cl::String host = rest.substr(0, slash);
    Parts.Path = rest.substr(slash);
    const size_t at = host.find('@');
    if (at != cl::String::npos) {
        const size_t colon = host.find(':');
        if (colon == cl::String::npos) return false;
        if (colon < at) {
            Parts.User = host.substr(0, colon);
            Parts.Password = host.substr(colon + 1, at - colon - 1);
        } else {
            Parts.User = host.substr(0, at);
        }
        host = host.substr(at + 1);
    }
    const size_t colon = host.find(':');
    if (colon != cl::String::npos) {
        const int32_t port = ParsePort(host.substr(colon + 1));
        Parts.Port = port ? port : defaultPort;
        host = host.substr(0, colon);
    } else {
        Parts.Port = defaultPort;
    }
    if (host.empty()) return false;
    for (unsigned char c : host)
        if (c <= ' ' || c == '/' || c == '\\' || c == '?' || c == '#' || c == '@' || c == '[' || c == ']') return false;
    Parts.Host = host;
    return true;
}

void IELoadInternet() {
    std::call_once(gCurlInit, [] { gCurlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
}

void IEFreeInternet() {
    // libcurl's global state stays until the process ends: another start of the library
    // may follow, and curl_global_init may run only once safely across threads.
}

bool IEDownloadURL(const cl::WideString& URL, cl::TMemoryStream* Stream, const cl::WideString& ProxyAddress,
                   cl::String& ContentType, std::atomic<bool>* Aborting, cl::TObject* Sender,
                   TIEProgressFnc ProgressFnc, void* ProgressData, const cl::WideString& ProxyPassword,
                   const cl::WideString& ProxyUser, cl::String* ErrorText) {
    ContentType.clear();
    auto fail = [ErrorText](const cl::String& Text) {
        if (ErrorText) *ErrorText = Text;
        return false;
    };
    if (ErrorText) ErrorText->clear();
    if (!Stream) return fail("No stream to download into");
    const cl::String url = win::Utf16ToUtf8(URL);
    TIEURLParts parts;
    if (!IEParseURL(url, parts)) {
        if (!HasAcceptedScheme(url)) return fail("Address refused: only http, https and ftp addresses are loaded");
        return fail("Address refused: not of the form scheme://host/path");
    }
    IELoadInternet();
    if (!gCurlReady) return fail("The internet library could not be started");
    CURL* curl = curl_easy_init();
    if (!curl) return fail("The internet library could not be started");
    static const char* schemes[] = {"", "http", "https", "ftp"};
    static const int32_t defaultPorts[] = {0, 80, 443, 21};
    cl::String address = cl::String(schemes[parts.Kind]) + "://" + parts.Host;
    if (parts.Port != defaultPorts[parts.Kind]) address += ":" + std::to_string(parts.Port);
    address += Escape(parts.Path, true);
    const int64_t limit = std::max<int64_t>(IEURLMaxBytes, 0);
    const int32_t stall = std::max<int32_t>(IEURLStallSeconds, 0);
    const int32_t deadline = std::max<int32_t>(IEURLTimeoutSeconds, 0);
    Transfer t;
    t.Stream = Stream;
    t.Aborting = Aborting;
    t.Sender = Sender;
    t.Fnc = ProgressFnc;
    t.Data = ProgressData;
    t.Limit = limit;
    t.StallMs = static_cast<int64_t>(stall) * 1000;
    const cl::String proxy = win::Utf16ToUtf8(ProxyAddress);
    const cl::String proxyUser = win::Utf16ToUtf8(ProxyUser), proxyPassword = win::Utf16ToUtf8(ProxyPassword);
    char curlError[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, curlError);
    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible)");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(stall));
    // The whole download, however slowly its bytes trickle in, ends by this deadline.
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(deadline) * 1000L);
    // An announced length above the limit is refused before any of the body is read.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limit));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, IEURLVerifyCertificates ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, IEURLVerifyCertificates ? 2L : 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 0L);
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());  // "" means no proxy, even from the environment
    if (!proxy.empty()) {
        if (!proxyUser.empty()) curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, proxyUser.c_str());
        if (!proxyPassword.empty()) curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, proxyPassword.c_str());
    }
    if (!parts.User.empty() || !parts.Password.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, parts.User.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, parts.Password.c_str());
        // Credentials stay with the server they were given for.
        curl_easy_setopt(curl, CURLOPT_UNRESTRICTED_AUTH, 0L);
    }
    const int64_t start = Stream->GetPosition();
    const auto started = std::chrono::steady_clock::now();
    const CURLcode rc = curl_easy_perform(curl);
    const auto elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    long osError = 0;
    curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osError);
    curl_off_t announced = t.Announced;
    if (announced < 0) curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    char* type = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) {
        const cl::String media = type;
        const size_t slash = media.find('/');
        if (slash != cl::String::npos) ContentType = media.substr(slash + 1);
    }
    curl_easy_cleanup(curl);

    cl::String error;
    const bool statusFailed = parts.Kind != 3 && status != 0 && (status < 200 || status > 299);
    if (Aborting && Aborting->load()) {
        error = "Aborted";
    } else if (statusFailed && (rc == CURLE_OK || rc == CURLE_FILESIZE_EXCEEDED || t.TooLarge)) {
        error = "HTTP status " + std::to_string(status);
    } else if (rc == CURLE_FILESIZE_EXCEEDED) {
        error = "Too large: the server announced " +
                (announced >= 0 ? std::to_string(announced) + " bytes" : cl::String("a larger body")) +
                ", the limit is " + std::to_string(limit) + " bytes";
    } else if (t.TooLarge) {
        error = "Too large: the body passed the limit of " + std::to_string(limit) + " bytes";
    } else if (t.WriteFailed) {
        error = "No memory for the body (" + std::to_string(t.Received) + " bytes received)";
    } else if (t.Stalled) {
        error = "Timed out: nothing arrived for " + std::to_string(stall) + " s";
    } else if (rc == CURLE_OPERATION_TIMEDOUT) {
        if (deadline > 0 && elapsedMs + 100 >= static_cast<int64_t>(deadline) * 1000)
            error = "Timed out: the download was not done within " + std::to_string(deadline) + " s";
        else if (status == 0)
            error = "Timed out: no connection to " + Peer(parts, proxy) + " within " + std::to_string(stall) + " s";
        else
            error = "Timed out: nothing arrived for " + std::to_string(stall) + " s";
    } else if (rc == CURLE_COULDNT_CONNECT && osError == ECONNREFUSED) {
        error = "Connection refused by " + Peer(parts, proxy);
    } else if (rc == CURLE_COULDNT_CONNECT) {
        error = "Could not connect to " + Peer(parts, proxy);
    } else if (rc == CURLE_COULDNT_RESOLVE_HOST || rc == CURLE_COULDNT_RESOLVE_PROXY) {
        error = "Host not found: " + (rc == CURLE_COULDNT_RESOLVE_PROXY ? Peer(parts, proxy) : parts.Host);
    } else if (rc != CURLE_OK) {
        error = "Download failed: " + cl::String(curlError[0] ? curlError : curl_easy_strerror(rc));
    } else if (statusFailed) {
        error = "HTTP status " + std::to_string(status);
    }
    if (error.empty()) return true;
    // Nothing of a failed transfer is kept.
    Stream->SetSize(start);
    Stream->Seek(start, cl::soBeginning);
    return fail(error);
}

cl::String IEURLLastError() {
    std::lock_guard<std::mutex> lock(gLastErrorLock);
    return gLastError;
}

void TVovozIdIO::LoadFromURL(const cl::WideString& URL) {
    if (StartInBackground([this, URL] { LoadFromURL(URL); })) return;
    Aborting = false;
    cl::TMemoryStream stream;
    cl::String contentType, error;
    const bool ok = IEDownloadURL(URL, &stream, ProxyAddress, contentType, &Aborting, this, ProgressHookFnc,
                                  ProgressHookData, ProxyPassword, ProxyUser, &error);
    SetLastURLError(error);
    if (!ok) {
        try {
            IEDebugLog("LoadFromURL: " + error);
        } catch (...) {
            // A log that cannot be written does not change the outcome.
        }
        FailOperation();
        return;
    }
    stream.Seek(0, cl::soBeginning);
    LoadFromStream(&stream);
}

}  // namespace ie
