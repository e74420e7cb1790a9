#pragma once

#include <string>

// Makes sure the app home can be used before anything is written: the directory exists (it is
// created, with its parents, when missing) and this process may create files in it. False with
// a message naming the path and the cause otherwise; nothing is written then.
bool prepareAppHome(const std::string& path, std::string& error);
