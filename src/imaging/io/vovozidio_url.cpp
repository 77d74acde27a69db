// Loading an image from a URL.
#include "imaging/io/vovozidio_url.h"

#include <curl/curl.h>

#include <cmath>
#include <mutex>

#include "imaging/io/vovozidio.h"
#include "platform/codepage.h"

namespace ie {

bool IEURLVerifyCertificates = true;
int32_t IEURLStallSeconds = 60;
int64_t IEURLMaxBytes = int64_t{1} << 30;

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
    int64_t Received = 0;
    bool TooLarge = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t->Aborting && t->Aborting->load()) return 0;
    if (t->Received + static_cast<int64_t>(n) > IEURLMaxBytes) {
        t->TooLarge = true;
        return 0;
    }
    if (t->Stream->Write(data, static_cast<int64_t>(n)) != static_cast<int64_t>(n)) return 0;
    t->Received += static_cast<int64_t>(n);
    return n;
}

int OnProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    if (t->Aborting && t->Aborting->load()) return 1;
    if (t->Fnc && total > 0 && now > 0)
        t->Fnc(t->Data, t->Sender,
               static_cast<int32_t>(std::nearbyint(static_cast<double>(now) * (100.0 / static_cast<double>(total)))));
    // The handler may have asked to stop.
    return t->Aborting && t->Aborting->load() ? 1 : 0;
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
                   const cl::WideString& ProxyUser) {
    ContentType.clear();
    if (!Stream) return false;
    TIEURLParts parts;
    if (!IEParseURL(win::Utf16ToUtf8(URL), parts)) return false;
    IELoadInternet();
    if (!gCurlReady) return false;
    CURL* curl = curl_easy_init();
    if (!curl) return false;
    static const char* schemes[] = {"", "http", "https", "ftp"};
    static const int32_t defaultPorts[] = {0, 80, 443, 21};
    cl::String address = cl::String(schemes[parts.Kind]) + "://" + parts.Host;
    if (parts.Port != defaultPorts[parts.Kind]) address += ":" + std::to_string(parts.Port);
    address += Escape(parts.Path, true);
    Transfer t;
    t.Stream = Stream;
    t.Aborting = Aborting;
    t.Sender = Sender;
    t.Fnc = ProgressFnc;
    t.Data = ProgressData;
    const cl::String proxy = win::Utf16ToUtf8(ProxyAddress);
    const cl::String proxyUser = win::Utf16ToUtf8(ProxyUser), proxyPassword = win::Utf16ToUtf8(ProxyPassword);
    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible)");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(IEURLStallSeconds));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(IEURLStallSeconds));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, IEURLVerifyCertificates ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, IEURLVerifyCertificates ? 2L : 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
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
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    char* type = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) {
        const cl::String media = type;
        const size_t slash = media.find('/');
        if (slash != cl::String::npos) ContentType = media.substr(slash + 1);
    }
    curl_easy_cleanup(curl);
    bool ok = rc == CURLE_OK && !t.TooLarge && !(Aborting && Aborting->load());
    if (parts.Kind != 3) ok = ok && status >= 200 && status <= 299;
    if (!ok) {
        // Nothing of a failed transfer is kept.
        Stream->SetSize(start);
        Stream->Seek(start, cl::soBeginning);
    }
    return ok;
}

void TVovozIdIO::LoadFromURL(const cl::WideString& URL) {
    if (StartInBackground([this, URL] { LoadFromURL(URL); })) return;
    Aborting = false;
    cl::TMemoryStream stream;
    cl::String contentType;
    const bool ok = IEDownloadURL(URL, &stream, ProxyAddress, contentType, &Aborting, this, ProgressHookFnc,
                                  ProgressHookData, ProxyPassword, ProxyUser);
    if (!ok) {
        FailOperation();
        return;
    }
    stream.Seek(0, cl::soBeginning);
    LoadFromStream(&stream);
}

}  // namespace ie
