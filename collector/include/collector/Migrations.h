// The versions of the collector's schema, kept in one list for both backends and applied in
// order when a Store is opened. The database records what it has in the table
// "schema_migrations" (version, name, applied_at); the pending ones run in one transaction that
// holds a lock, so several collector processes starting at once on one PostgreSQL database
// apply each migration exactly once (SQLite: BEGIN IMMEDIATE; PostgreSQL: an advisory lock).
//
// Adding a migration: append an entry to the list in Migrations.cpp with the next version
// number, a short name, and the same change written for SQLite and for PostgreSQL (types differ:
// INTEGER PRIMARY KEY against BIGSERIAL/BIGINT, TEXT times in both; forDialect there makes both
// from one text with {ID} and {INT64} marks when only those differ). Keep tables and columns the
// same on both so that portable statements (Store::query) work on either. Never edit, reorder
// or renumber an entry once it has reached main: databases in use have applied it.
#pragma once

#include <string>
#include <vector>

namespace collector {

class Store;

struct Migration {
    int version;             // 1, 2, 3, ... without gaps
    std::string name;
    std::string sqlite;      // ';'-separated statements
    std::string postgresql;  // ';'-separated statements
};

const std::vector<Migration>& migrations();

// Applies the migrations the database lacks. Throws std::runtime_error when the database was
// migrated by a newer collector than this one.
void migrate(Store& store);

} // namespace collector
