#pragma once
// The uninstall list ("uninstall.ini" in the destination, section
// "Uninstall"): how many files the archive holds, then one "File%03d" key per
// file installed whole, in archive order. An older, longer list keeps its
// surplus keys; readers go by "NumFiles".

#include <string>
#include <vector>

// Writes "NumFiles" = `count`.
void RecordFileCount(const std::string& listPath, int count);

// Writes "File%03d" (`index`, at least three digits) = `path`.
void RecordInstalledFile(const std::string& listPath, int index, const std::string& path);

// Appends the "File%03d" values of a list to `list`, for indices below its
// "NumFiles"; a missing value reads "NULL".
void ReadUninstallList(const std::string& listPath, std::vector<std::string>& list);
