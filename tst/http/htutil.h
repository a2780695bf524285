#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The fixed HTTP vocabularies (requests store indices), header-name
// normalisation and Base64.

enum TSHttpVerb : int32_t {
    kHttpGet = 0,
    kHttpPost = 1,
    kHttpHead = 2,
    kHttpPut = 3,
    kHttpOptions = 4,
    kHttpDelete = 5,
    kHttpTrace = 6,
    kHttpConnect = 7,
};
constexpr int32_t kHttpVerbCount = 8;

// Null for an index that names no verb.
const char* HttpVerbText(int32_t verb);

// Indices of the well-known header names.
enum TSHttpHeaderIndex : int32_t {
    kHeaderAccept = 0,
    kHeaderAcceptCharset,
    kHeaderAcceptEncoding,
    kHeaderAcceptLanguage,
    kHeaderAcceptRanges,
    kHeaderAge,
    kHeaderAllow,
    kHeaderAuthorization,
    kHeaderCacheControl,
    kHeaderConnection,
    kHeaderContentEncoding,
    kHeaderContentLanguage,
    kHeaderContentLength,
    kHeaderContentLocation,
    kHeaderContentMd5,
    kHeaderContentRange,
    kHeaderContentType,
    kHeaderCookie,
    kHeaderDate,
    kHeaderEtag,
    kHeaderExpect,
    kHeaderExpires,
    kHeaderFrom,
    kHeaderHost,
    kHeaderIfMatch,
    kHeaderIfModifiedSince,
    kHeaderIfNoneMatch,
    kHeaderIfRange,
    kHeaderIfUnmodifiedSince,
    kHeaderLastModified,
    kHeaderLocation,
    kHeaderMaxForwards,
    kHeaderPragma,
    kHeaderProxyAuthenticate,
    kHeaderProxyAuthorization,
    kHeaderRange,
    kHeaderReferer,
    kHeaderRetryAfter,
    kHeaderServer,
    kHeaderSetCookie,
    kHeaderTe,
    kHeaderTrailer,
    kHeaderTransferEncoding,
    kHeaderUpgrade,
    kHeaderUserAgent,
    kHeaderVary,
    kHeaderVia,
    kHeaderWarning,
    kHeaderWwwAuthenticate,
};
constexpr int32_t kHttpHeaderCount = 49;

// The normalised spelling; an unknown index is a programming error.
const char* HttpHeaderName(int32_t index);

enum TSHttpContentType : int32_t {
    kContentTextPlain = 0,
    kContentTextHtml,
    kContentTextXml,
    kContentWml,
    kContentXWapWml,
    kContentXHdml,
    kContentImageGif,
    kContentImageJpeg,
    kContentImageBmp,
    kContentImageTiff,
    kContentUrlEncoded,
};
constexpr int32_t kHttpContentTypeCount = 11;

// An unknown index is a programming error.
const char* HttpContentTypeText(int32_t index);

// "content-LENGTH" -> "Content-Length": a letter that starts the name or
// follows '-' in upper case, every other letter in lower case.
std::string NormaliseHeaderName(std::string_view name);

// Standard alphabet, '=' padding, no line breaks.
std::string EncodeBase64(const void* bytes, std::size_t length);
inline std::string EncodeBase64(std::string_view text)
{
    return EncodeBase64(text.data(), text.size());
}
