// A handle of its own for repeated multipart posts to one URL. Transfer errors are logged,
// never thrown, and a stream cannot be stopped by terminateTransaction.
#pragma once

#include "OpenApiConnection.h"

#include <string>
#include <vector>

namespace openapi {

class OpenApiStream {
public:
    // Throws the mapped OpenApiErrorCode when the handle cannot be set up.
    OpenApiStream(std::string url, std::vector<HTTPHeader> headers);
    ~OpenApiStream();
    OpenApiStream(const OpenApiStream&) = delete;
    OpenApiStream& operator=(const OpenApiStream&) = delete;

    // Posts `data` as the form part "file" (file name "data"); returns the response body,
    // whatever the status, possibly partial after a transfer error.
    std::string write(std::vector<unsigned char> data, std::vector<HTTPHeader> headers);

private:
    static void check(Travix::TravixEasy* handle, int line);

    Travix::TravixEasy* m_handle;
    std::vector<HTTPHeader> m_headers;
};

} // namespace openapi
