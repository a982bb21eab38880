// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/DatabaseReadAhead.h"

namespace roradaza {

DatabaseReadAhead::DatabaseReadAhead(const QString &path)
{
    if (DatabaseFile(path).exists())
        m_running = std::async(std::launch::async, &DatabaseReadAhead::readAhead, path);
}

DatabaseReadAhead::~DatabaseReadAhead()
{
    if (m_running.valid())
        m_running.wait();
}

DatabaseReadAhead::Result DatabaseReadAhead::readAhead(const QString &path)
{
    Result result(path);
    try {
        result.file.read();
    } catch (...) {
        result.readFailure = std::current_exception();
        return result;
    }
    // The older layout waits for the user's answer to the conversion question.
    if (result.file.layout() == DatabaseFile::Layout::Current) {
        result.filled = true;
        try {
            result.file.fill(result.records, DatabaseFile::Layout::Current);
        } catch (...) {
            result.fillFailure = std::current_exception();
        }
    }
    return result;
}

void DatabaseReadAhead::read(DatabaseFile &file)
{
    if (!m_running.valid()) {
        file.read();
        return;
    }
    m_result.emplace(m_running.get());
    file = std::move(m_result->file);
    if (m_result->readFailure)
        std::rethrow_exception(m_result->readFailure);
}

void DatabaseReadAhead::fill(DatabaseFile &file, EventList &list)
{
    if (!m_result || !m_result->filled) {
        m_result.reset();
        file.fill(list, DatabaseFile::Layout::Current);
        return;
    }
    Result result = std::move(*m_result);
    m_result.reset();
    if (!result.records.isEmpty()) {
        if (list.isEmpty() && list.autoSort())
            list.adopt(std::move(result.records)); // already in name order
        else
            list.appendAll(std::move(result.records));
    }
    if (result.fillFailure)
        std::rethrow_exception(result.fillFailure);
}

} // namespace roradaza
