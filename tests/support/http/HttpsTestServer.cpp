#include "tests/support/http/HttpsTestServer.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>

namespace LumoraTest {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
    void operator()(X509 *certificate) const { X509_free(certificate); }
};
struct BioFree {
    void operator()(BIO *bio) const { BIO_free(bio); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Certificate = std::unique_ptr<X509, CertificateFree>;

void fail(const char *what)
{
    throw std::runtime_error(std::string("HttpsTestServer: ") + what);
}

void addExtension(X509 *certificate, int nid, const char *value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        fail("cannot build a certificate extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

} // namespace

struct HttpsTestServer::Credentials {
    Key key;
    Certificate certificate;
    std::string pem;

    static Credentials make()
    {
        Credentials c;
        // P-256 keys are made in microseconds; RSA would cost a noticeable part of a test.
        c.key.reset(EVP_EC_gen("P-256"));
        if (!c.key)
            fail("cannot generate a key");
        c.certificate.reset(X509_new());
        X509 *x = c.certificate.get();
        X509_set_version(x, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(x), long(std::random_device {}() & 0x7fffffff) + 1);
        X509_gmtime_adj(X509_getm_notBefore(x), -3600);
        X509_gmtime_adj(X509_getm_notAfter(x), 24 * 3600);
        X509_set_pubkey(x, c.key.get());
        X509_NAME *name = X509_get_subject_name(x);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char *>("Lumora test server"), -1, -1, 0);
        X509_set_issuer_name(x, name);
        addExtension(x, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(x, NID_key_usage, "critical,digitalSignature,keyCertSign");
        addExtension(x, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
        addExtension(x, NID_subject_key_identifier, "hash");
        if (X509_sign(x, c.key.get(), EVP_sha256()) == 0)
            fail("cannot sign the certificate");

        std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
        PEM_write_bio_X509(bio.get(), x);
        char *data = nullptr;
        const long length = BIO_get_mem_data(bio.get(), &data);
        c.pem.assign(data, size_t(length));
        return c;
    }
};

HttpsTestServer::HttpsTestServer() : HttpsTestServer(Credentials::make()) {}

HttpsTestServer::HttpsTestServer(Credentials credentials)
    : HttpTestServer(std::make_unique<httplib::SSLServer>(credentials.certificate.get(), credentials.key.get()))
    , m_certificatePem(std::move(credentials.pem))
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lumora-https-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        fail("cannot create a folder for the certificate");
    m_directory = pattern;
    m_certificateFile = m_directory / "ca.pem";
    std::ofstream(m_certificateFile) << m_certificatePem;
}

HttpsTestServer::~HttpsTestServer()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_directory, ignored);
}

} // namespace LumoraTest
