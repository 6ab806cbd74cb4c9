// Authenticode signing of a built setup with osslsigncode, the signing tool publishers have on
// Linux (Debian's osslsigncode package) and may put on the PATH on Windows.
#pragma once

#include <string>
#include <vector>

namespace stptool {

struct SignOptions {
  std::string certificate;    // PKCS#12 file (.pfx/.p12) with the certificate and its key
  std::string password_file;  // file whose first line is the key's password; empty: none
  std::string description;    // shown by Windows as the signed program's name; may be empty
};

// Signs the executable at host_path in place. osslsigncode writes the signed copy beside it and
// the copy then replaces the original, so a failure leaves the unsigned file as it was. Throws
// std::runtime_error with a message for the user when osslsigncode is missing, cannot be started
// or fails (its own messages go to stderr first).
void SignExecutable(const std::string& host_path, const SignOptions& options);

// Checks, before any work is done, that signing can start: the certificate and password files
// can be read and osslsigncode can be run. Throws std::runtime_error with a message otherwise.
void CheckSigning(const SignOptions& options);

// Runs a program found on the PATH with these arguments, its output going to ours (or nowhere
// when quiet); returns its exit code, or -1 when it cannot be started because it is not
// installed.
int RunProgram(const std::string& program, const std::vector<std::string>& args,
               bool quiet = false);

}  // namespace stptool
