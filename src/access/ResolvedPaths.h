#pragma once

// Text rules that turn the paths the engine hands to the access checks into the one path that is
// checked and then acted on. The engine joins a client's argument to the current directory and
// leaves "." and ".." in the text ("C:\ftp\pub\..\..\etc\passwd"); the rights rules compare
// texts, so every check first resolves those components here and hands the resolved path back
// to the engine. None of these functions looks at the disk.

#include <string>

namespace orvane {

// Resolves "." and ".." components of a path that starts with a drive ("C:"). A ".." at the
// drive root stays at the root. Repeated separators collapse and "/" counts as "\". The result
// ends with "\" when the path names a directory by its form: it ended with a separator, its last
// component was "." or "..", or it is the drive root. A path without a drive letter (relative or
// UNC) is returned unchanged; the checks refuse it because it names no existing directory.
std::string ResolvePath(const std::string& path);

// ResolvePath for a file or directory that a command acts on (RETR, STOR, DELE, RNFR, RNTO, RMD,
// MKD, SIZE): no trailing "\" except at a drive root, so that the directory part of the result is
// always the directory that contains the object. "C:\ftp\sub\" gives "C:\ftp\sub".
std::string ResolveFilePath(const std::string& path);

// ResolvePath for a directory to be entered or listed: always ends with "\".
std::string ResolveDirectoryPath(const std::string& path);

// The directory part of a path with a trailing "\": everything up to the last "\" or ":"
// ("C:\ftp\a.txt" gives "C:\ftp\", "C:x" gives "C:\"); empty for a path without either.
std::string DirectoryPart(const std::string& path);

// The name after the last "\" or ":".
std::string FileNamePart(const std::string& path);

// The text with "\" appended unless it already ends with one.
std::string WithBackslash(const std::string& path);

}  // namespace orvane
