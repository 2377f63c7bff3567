// Certificates for the TLS tests, made with the openssl tool at test time.
#ifndef HALVO_TEST_PKI_H
#define HALVO_TEST_PKI_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stdlib.h>
#include <string>

// A scratch directory with a test CA, a board certificate for 127.0.0.1
// and a client certificate it signed, and a second CA that signed nothing
// the agent shows. Made with the openssl tool at test time.
class TestPki
{
public:
    TestPki()
    {
        char templ[] = "/tmp/halvo-pki.XXXXXX";
        dir = mkdtemp(templ);
        const std::string ext = dir + "/board.ext";
        std::ofstream(ext) << "subjectAltName = IP:127.0.0.1\n";
        const std::string d = dir + "/";
        const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes";
        run("openssl req -x509 " + key + " -keyout " + d + "ca.key -out " + d +
            "ca.pem -subj /CN=halvo-test-ca -days 2");
        run("openssl req -x509 " + key + " -keyout " + d + "other.key -out " + d +
            "other.pem -subj /CN=other-ca -days 2");
        for (const std::string name : {"board", "client"}) {
            run("openssl req " + key + " -keyout " + d + name + ".key -out " + d + name +
                ".csr -subj /CN=" + (name == "board" ? "127.0.0.1" : "bench-7"));
            run("openssl x509 -req -in " + d + name + ".csr -CA " + d + "ca.pem -CAkey " + d +
                "ca.key -CAcreateserial -days 2 -out " + d + name + ".pem" +
                (name == "board" ? " -extfile " + ext : ""));
        }
    }
    ~TestPki() { run("rm -rf " + dir); }
    std::string path(const std::string &name) const { return dir + "/" + name; }

    std::string dir;

private:
    static void run(const std::string &command)
    {
        if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
            ADD_FAILURE() << command;
    }
};

#endif
