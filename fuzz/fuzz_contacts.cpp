// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a vCard address book: a clear failure or the birthdays and
// anniversaries read, each a record the check can read.

#include "FuzzSupport.h"

#include "exchange/Exchange.h"
#include "store/Failure.h"

using namespace roradaza;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    exchange::Conversion read;
    try {
        read = exchange::readContacts(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const Failure &) {
        return 0;
    }
    for (const EventRecord &record : read.records) {
        fuzz::require(record.name.contains(" di "),
                      "a record is a birthday, an anniversary or another date of someone");
        fuzz::require(record.name.size() <= nameLengthLimit, "a name fits the editor");
        fuzz::require(!record.name.contains('\n') && !record.name.contains('\r'), "a name holds one line");
        try {
            const CheckFields fields = decodeForCheck(record);
            fuzz::require(fields.month >= 1 && fields.month <= 12 && fields.day >= 1 && fields.day <= 31 &&
                              fields.year == 0,
                          "a day of a month, every year");
        } catch (const Failure &) {
            fuzz::fail("a record read is one the check can read");
        }
    }
    return 0;
}
