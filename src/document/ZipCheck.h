#pragma once
// Spreadsheet files are zip packages, and the zip reader believes the sizes
// the package declares: a damaged or hostile one that declares gigabytes
// would be given them. The declarations are checked against the bytes first.
#include <string_view>

// True when every entry of the zip package in bytes lies inside it and
// declares no more unpacked bytes than deflate can make of its packed ones
// (and less than 2 GB); false for anything that is not such a package.
bool ZipSizesPlausible(std::string_view bytes);
