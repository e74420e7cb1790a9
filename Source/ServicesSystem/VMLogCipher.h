#pragma once

#include <optional>
#include <string>
#include <string_view>

// How the analytics log seals its record and header texts for the log server, and only for it.
// Each text gets a fresh AES-256 key and IV; the text is encrypted with them (CBC, PKCS#7) and the
// 48 bytes of key then IV with the map kit's RSA certificate (PKCS#1 v1.5). The sealed text is
// "<Base64 of the RSA block>:<Base64 of the AES cipher text>"; the server holds the private key.
class VMLogCipher {
  public:
    // Nothing when no key can be made or the certificate is unusable.
    static std::optional<std::string> seal(std::string_view text);
};
