#include "support/StoreRows.h"

#include <sqlite3.h>

#include <stdexcept>

std::vector<TRow> QueryRows(const std::string& dbFile, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(dbFile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + dbFile);
  }
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    const std::string message = sqlite3_errmsg(db);
    sqlite3_close(db);
    throw std::runtime_error(message);
  }
  std::vector<TRow> rows;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    TRow row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      const unsigned char* text = sqlite3_column_text(statement, i);
      row[sqlite3_column_name(statement, i)] =
          text ? reinterpret_cast<const char*>(text) : "NULL";
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}
