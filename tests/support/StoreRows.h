// Reads rows of a SQLite file straight through the engine, not through the store under test.
#pragma once

#include <map>
#include <string>
#include <vector>

using TRow = std::map<std::string, std::string>;  // column name -> text ("NULL" for null)
std::vector<TRow> QueryRows(const std::string& dbFile, const std::string& sql);
