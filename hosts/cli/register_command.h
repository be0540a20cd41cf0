// lumora register | unregister | registered [--registry FILE]
#pragma once

namespace cli {

// verb is "register", "unregister" or "registered".
int RegisterCommand(const char* verb, int argc, char** argv);

}  // namespace cli
