#pragma once
// HttpTestServer over TLS, with a certificate made for this server when it starts: self-signed, for
// 127.0.0.1 and localhost, valid for a day. Clients trust it by loading caCertificatePath() as their
// certificate authority; nothing else trusts it, so a client that skips that step must refuse it.
//
// Kept apart from HttpTestServer so that plain HTTP tests do not build certificates.

#include "tests/support/http/HttpTestServer.h"

#include <filesystem>
#include <string>

namespace LumoraTest {

class HttpsTestServer : public HttpTestServer {
public:
    HttpsTestServer();
    ~HttpsTestServer() override;

    std::string scheme() const override { return "https"; }
    // The certificate in PEM form, in a file that lives as long as the server.
    const std::filesystem::path &caCertificatePath() const { return m_certificateFile; }
    const std::string &caCertificatePem() const { return m_certificatePem; }

private:
    struct Credentials;
    HttpsTestServer(Credentials credentials);

    std::filesystem::path m_directory;
    std::filesystem::path m_certificateFile;
    std::string m_certificatePem;
};

} // namespace LumoraTest
