// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a server's WebDAV answer: the responses it holds or a clear
// refusal, and every href read becomes one stable path. Seeds: answers
// recorded from Radicale 3.1.8, the examples of RFC 4791 (7.9.1) and RFC 6578
// (3.8), and the other servers' spellings of tests/data/sync.

#include "FuzzSupport.h"

#include "sync/DavXml.h"

using namespace roradaza::sync;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<dav::Multistatus> answer = dav::parseMultistatus(body);
    if (!answer)
        return 0;
    for (const dav::Response &response : answer->responses) {
        const QString path = dav::canonicalPath(response.href, QStringLiteral("/anna/c/"));
        fuzz::require(path.startsWith(u'/'), "a path starts at the root");
        fuzz::require(dav::canonicalPath(path) == path, "a canonical path stays as it is");
        for (const dav::Property &property : response.properties)
            fuzz::require(property.status >= 0 && property.status <= 999, "a status has three digits");
    }
    return 0;
}
