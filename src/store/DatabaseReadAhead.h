// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/DatabaseFile.h"
#include "store/EventList.h"

#include <QString>

#include <exception>
#include <future>
#include <optional>
#include <vector>

namespace roradaza {

// The start-up reading of the database, begun on a second thread while the
// windows are being built: the file is read and, in the current layout, its
// records are taken and put in name order. Taken back on the main thread,
// the results come out as the reading itself would have given them: the same
// records, the same failures at the same steps, the same state of the file
// (its backup flag, and the buffer a conversion of the older layout needs).
class DatabaseReadAhead
{
public:
    // Starts at once, when the file exists.
    explicit DatabaseReadAhead(const QString &path);
    // Waits for a reading still under way.
    ~DatabaseReadAhead();
    DatabaseReadAhead(const DatabaseReadAhead &) = delete;
    DatabaseReadAhead &operator=(const DatabaseReadAhead &) = delete;

    // In place of file.read(): file becomes the file read ahead, and the
    // reading's failure is thrown here. Without a reading ahead (no file when
    // it started, or taken already), file reads itself.
    void read(DatabaseFile &file);
    // In place of file.fill(list, Layout::Current) after read(), into the
    // empty list of a start: the records taken ahead go into the list, and
    // the filling's failure is thrown here.
    void fill(DatabaseFile &file, EventList &list);

private:
    struct Result
    {
        explicit Result(const QString &path) : file(path) {}
        DatabaseFile file;
        std::exception_ptr readFailure;
        bool filled = false;
        EventList records; // name order, no observer
        std::exception_ptr fillFailure;
    };
    static Result readAhead(const QString &path);

    std::future<Result> m_running;
    std::optional<Result> m_result;
};

} // namespace roradaza
