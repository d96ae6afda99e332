#pragma once
// File names for captured and scanned pictures.
#include <QString>

#include <functional>

namespace tf {

// A folder as the user typed it, with or without a final separator, joined to a file name.
QString folderFile(const QString& folder, const QString& name);

// folder/<prefix><n><suffix> with n a random number from 0 to 9998, drawn again while the name is
// taken: a random name never replaces an earlier capture or page. Empty when every number is
// taken. `draw` gives numbers in [0, 9998] (tests fix it).
QString freeRandomName(const QString& folder, const QString& prefix, const QString& suffix,
                       const std::function<int()>& draw = {});

// `path` itself when no file is there; otherwise the first of <stem>_2<ext>, <stem>_3<ext>, ...
// that is free: what "Overwrite if file exists" left unticked means.
QString freeNumberedName(const QString& path);

} // namespace tf
