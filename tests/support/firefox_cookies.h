// A cookie database as the Firefox family writes it today ("cookies.sqlite":
// WAL journal, table moz_cookies with all its columns), for the tests and the
// cookie benchmark. Header only, so that programs without GoogleTest use it too.
#pragma once
#include <sqlite3.h>

#include <string>
#include <vector>

struct FirefoxCookie {
    std::string host, name, path, value;
    long long expiry;
    int secure;
};

inline const char *FirefoxCookieSchema()
{
    return "PRAGMA journal_mode=WAL; PRAGMA user_version=16;"
           "CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL DEFAULT '',"
           " name TEXT, value TEXT, host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER,"
           " creationTime INTEGER, isSecure INTEGER, isHttpOnly INTEGER, inBrowserElement INTEGER DEFAULT 0,"
           " sameSite INTEGER DEFAULT 0, rawSameSite INTEGER DEFAULT 0, schemeMap INTEGER DEFAULT 0,"
           " isPartitionedAttributeSet INTEGER DEFAULT 0,"
           " CONSTRAINT moz_uniqueid UNIQUE (name, host, path, originAttributes));";
}

// Writes a fresh database at path (UTF-8) holding the cookies; true when it did.
inline bool WriteFirefoxCookies(const std::string &path, const std::vector<FirefoxCookie> &cookies)
{
    sqlite3 *db = nullptr;
    bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, FirefoxCookieSchema(), nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt *insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db,
                                  "INSERT INTO moz_cookies (name, value, host, path, expiry, lastAccessed,"
                                  " creationTime, isSecure, isHttpOnly, schemeMap) VALUES (?,?,?,?,?,"
                                  " 1700000000000000, 1700000000000000, ?, 1, 2)",
                                  -1, &insert, nullptr) == SQLITE_OK;
    for (size_t i = 0; ok && i < cookies.size(); i++) {
        const FirefoxCookie &c = cookies[i];
        sqlite3_bind_text(insert, 1, c.name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, c.value.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, c.host.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, c.path.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 5, c.expiry);
        sqlite3_bind_int(insert, 6, c.secure);
        ok = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    ok = ok && sqlite3_exec(db, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE);", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// "host|name" of every row, in rowid order; and the integrity check's answer.
inline std::vector<std::string> FirefoxCookieKeys(const std::string &path, std::string *integrity = nullptr)
{
    std::vector<std::string> keys;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT host, name FROM moz_cookies ORDER BY id", -1, &s, nullptr) == SQLITE_OK)
            while (sqlite3_step(s) == SQLITE_ROW)
                keys.push_back(std::string((const char *)sqlite3_column_text(s, 0)) + "|" +
                               (const char *)sqlite3_column_text(s, 1));
        sqlite3_finalize(s);
        s = nullptr;
        if (integrity && sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW)
            *integrity = (const char *)sqlite3_column_text(s, 0);
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return keys;
}
