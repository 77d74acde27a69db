// Loading an image from a URL: the unit's own address parser and acceptance rules, and
// the download over libcurl.
#pragma once

#include <atomic>
#include <cstdint>

#include "classlib/Classes.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// An address split by the unit's rules.
struct TIEURLParts {
    int32_t Kind = 0;  // 1 http, 2 https, 3 ftp
    cl::String Host;
    int32_t Port = 0;
    cl::String Path;  // from the first "/" on
    cl::String User, Password;
};

// Splits URL: "http://", "https://" or "ftp://" (letter case ignored), a host part up to the
// first "/", the path from there. A host part "user:password@host" gives the credentials
// ("@" without ":" is refused); "host:port" the port, the scheme's port (80, 443, 21) when
// the port text is no number from 1 to 65535. False when the address is not accepted.
bool IEParseURL(const cl::String& URL, TIEURLParts& Parts);

// Library-wide settings of downloads. A caller may change them between downloads.
extern bool IEURLVerifyCertificates;  // True: certificates and host names are checked (default)
extern int32_t IEURLStallSeconds;     // connecting, or a transfer that moves nothing, for this long fails (60)
extern int32_t IEURLTimeoutSeconds;   // a download not done this long after it started fails (300; 0: none)
// A larger body fails (128 MiB): refused before any of it is read when the server announces
// its length, and as soon as it grows past the limit when it does not.
extern int64_t IEURLMaxBytes;

// Starts and stops the internet library (the unit's start-up and shutdown).
void IELoadInternet();
void IEFreeInternet();

// Downloads URL into Stream (appended at its position). True when a whole body arrived
// with a success status; False on a refused address, a failed connection, a status other
// than 2xx, a body over the limit, the stall or total deadline, or an abort (Aborting set);
// nothing of a failed download stays in Stream. Progress (Sender, percent) is reported when
// the length is known. The proxy's credentials go to the proxy, the address's to the
// server. Redirections are followed between http and https only. On failure ErrorText
// (when given) receives one line saying what failed; it never holds the credentials.
bool IEDownloadURL(const cl::WideString& URL, cl::TMemoryStream* Stream, const cl::WideString& ProxyAddress,
                   cl::String& ContentType, std::atomic<bool>* Aborting, cl::TObject* Sender,
                   TIEProgressFnc ProgressFnc, void* ProgressData, const cl::WideString& ProxyPassword,
                   const cl::WideString& ProxyUser, cl::String* ErrorText = nullptr);

// What made the latest failed download of TVovozIdIO.LoadFromURL in this process fail
// (the ErrorText of IEDownloadURL; empty after a download that succeeded). The text also
// goes to the library's debug log when one is set.
cl::String IEURLLastError();

}  // namespace ie
