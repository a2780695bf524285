#pragma once

#include <string>
#include <vector>

// What one request through libcurl gave: whether it completed, the HTTP
// status and the reply body.
struct CurlReply {
    bool completed = false;
    long status = 0;
    std::string body;
};

// One HTTP/1.0 request on a new easy handle, the way the benchmarks' anchor
// sends it: a POST of `body` when `post` is set, else a GET, with `headers`
// as "Name: value" lines.
CurlReply CurlSend(const std::string& url, const std::vector<std::string>& headers, const std::string& body,
                   bool post);
