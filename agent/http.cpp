// halvo-agent's HTTP/1.1 server: one event loop (Boost.Asio) owns every
// connection, so an idle or slow peer costs its socket and a few KiB of
// buffer, never a thread; the board calls run on a small pool of workers.
// Each connection is a Conversation (the request parser and the answers,
// without the socket) driven by a Session (the socket, TLS and deadlines).
#include "agent.h"
#include "exchange.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/status.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <zlib.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>

namespace halvo::agent
{

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace
{

// After the last answer: how long and how much of what the peer still sends
// is read and dropped, so that closing does not reset the connection before
// the peer has read that answer.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr size_t kLingerBytes = 256 * 1024;

constexpr size_t kMaxConnections = 512;
constexpr size_t kMaxPerPeer = 32;
// The board calls of different connections run side by side on these.
constexpr size_t kWorkers = 4;

// What a connection holds of its peer's bytes at most: a whole header block,
// or a chunk's size line and some of its data.
constexpr size_t kInputBytes = kMaxHeaderBytes + 4096;
constexpr size_t kReadSize = 4096;

// Whether the request takes a gzip-coded answer ("gzip" listed and not with
// q=0).
bool takesGzip(const Fields &fields)
{
    const std::string *accept = field(fields, "Accept-Encoding");
    if (!accept)
        return false;
    std::string list;
    for (const char c : *accept)
        if (c != ' ' && c != '\t')
            list += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    list += ',';
    const size_t at = list.find("gzip");
    return at != std::string::npos && (at == 0 || list[at - 1] == ',') && list.compare(at + 4, 4, ";q=0") != 0;
}

// `body` gzip-coded; false when zlib failed (the answer then goes plain).
bool gzip(std::string &body)
{
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    std::string out(deflateBound(&z, body.size()), '\0');
    z.next_in = reinterpret_cast<Bytef *>(body.data());
    z.avail_in = static_cast<uInt>(body.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(z.total_out);
    deflateEnd(&z);
    if (done)
        body = std::move(out);
    return done;
}

// Answers worth coding: the snapshot and the description, large lists.
constexpr size_t kGzipFrom = 1024;

std::string serialize(const Answer &a, unsigned version, bool close, bool head)
{
    std::string out = version == 10 ? "HTTP/1.0 " : "HTTP/1.1 ";
    out += std::to_string(a.status);
    out += ' ';
    const auto reason = http::obsolete_reason(static_cast<http::status>(a.status));
    out.append(reason.data(), reason.size());
    out += "\r\nContent-Type: " + a.contentType + "\r\nContent-Length: " + std::to_string(a.body.size()) + "\r\n";
    out += std::string(remote::kProtocolHeader) + ": " + std::to_string(remote::kProtocolVersion) + "\r\n";
    for (const auto &[name, value] : a.headers)
        out += name + ": " + value + "\r\n";
    if (close)
        out += "Connection: close\r\n";
    else
        out += version == 10 ? "Connection: keep-alive\r\nKeep-Alive: timeout=5\r\n" : "Keep-Alive: timeout=5\r\n";
    out += "\r\n";
    if (!head)
        out += a.body;
    return out;
}

// One connection's requests in order, without its socket: the peer's bytes
// go into input(), next() says what to do, and the answers come out of
// output(). A request is admitted from its header before its body is read.
class Conversation
{
public:
    enum class Next { Read, Work, Write, Close };
    enum class After { SameRequest, NextRequest, Close };

    Conversation(const Agent &agent, std::string peer) : agent_(agent), peer_(std::move(peer)), input_(kInputBytes)
    {
        fresh();
    }

    void setCertificate(std::string commonName) { certificate_ = std::move(commonName); }
    beast::flat_buffer &input() { return input_; }
    // No byte of the next request has arrived yet.
    bool waiting() const { return state_ == State::Head && input_.size() == 0; }
    bool headerDone() const { return state_ != State::Head; }

    Next next()
    {
        for (;;) {
            switch (state_) {
            case State::Work:
                return Next::Work;
            case State::Write:
                return Next::Write;
            case State::Closed:
                return Next::Close;
            case State::Head:
            case State::Body:
                if (state_ == State::Body && parser_->is_done()) {
                    state_ = State::Work;
                    continue;
                }
                if (input_.size() == 0)
                    return Next::Read;
                beast::error_code ec;
                const size_t used = parser_->put(input_.data(), ec);
                input_.consume(used);
                if (ec == http::error::need_more || (!ec && used == 0 && !parser_->is_header_done())) {
                    if (input_.size() < input_.max_size())
                        return Next::Read;
                    ec = http::error::buffer_overflow;
                }
                if (ec)
                    refuse(ec);
                else if (state_ == State::Head && parser_->is_header_done())
                    admit();
            }
        }
    }

    // The answer to the request read; on a worker thread.
    void work()
    {
        Answer a = agent_.respond(admitted_, parser_->release().body());
        if (gzip_ && a.status == 200 && a.body.size() >= kGzipFrom && gzip(a.body))
            a.headers.emplace_back("Content-Encoding", "gzip");
        answer(std::move(a));
    }

    const std::string &output() const { return output_; }

    After written()
    {
        if (interim_) {
            interim_ = false;
            state_ = State::Body;
            return After::SameRequest;
        }
        if (close_) {
            state_ = State::Closed;
            return After::Close;
        }
        fresh();
        return After::NextRequest;
    }

private:
    enum class State { Head, Body, Work, Write, Closed };

    void fresh()
    {
        parser_.emplace();
        parser_->header_limit(kMaxHeaderBytes);
        // No limit until the caller is known: a declared length above the
        // bound is then refused by admit() as 413, after authentication.
        // (boost::none would compare as below every length.)
        parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
        std::string().swap(output_);
        if (input_.size() == 0)
            input_.shrink_to_fit();
        state_ = State::Head;
        version_ = 11;
        head_ = false;
        close_ = false;
    }

    void admit()
    {
        const auto &message = parser_->get();
        Head head;
        head.method = std::string(message.method_string());
        head.target = std::string(message.target());
        for (const auto &f : message)
            head.fields.emplace_back(std::string(f.name_string()), std::string(f.value()));
        head.peer = peer_;
        head.certificate = certificate_;
        version_ = message.version();
        head_ = message.method() == http::verb::head;
        keepAlive_ = parser_->keep_alive();
        gzip_ = takesGzip(head.fields);
        if (std::optional<Answer> refusal = agent_.admit(head, admitted_))
            return answer(std::move(*refusal));
        parser_->body_limit(kMaxBodyBytes);
        parser_->eager(true);
        state_ = State::Body;
        if (admitted_.expectContinue && !parser_->is_done() && input_.size() == 0) {
            output_ = "HTTP/1.1 100 Continue\r\n\r\n";
            interim_ = true;
            state_ = State::Write;
        }
    }

    void refuse(const beast::error_code &ec)
    {
        Answer a;
        a.close = true;
        if (ec == http::error::header_limit || (state_ == State::Head && ec == http::error::buffer_overflow)) {
            a.status = 431;
            a.body = R"({"error":"header block larger than 16 KiB"})";
        } else if (ec == http::error::body_limit) {
            a.status = 413;
            a.body = R"({"error":"body too large"})";
        } else {
            a.status = 400;
            a.body = R"({"error":"malformed request"})";
        }
        answer(std::move(a));
    }

    void answer(Answer a)
    {
        close_ = a.close || !keepAlive_;
        output_ = serialize(a, version_, close_, head_);
        state_ = State::Write;
    }

    const Agent &agent_;
    const std::string peer_;
    std::string certificate_;
    beast::flat_buffer input_;
    std::optional<http::request_parser<http::string_body>> parser_;
    Admitted admitted_;
    std::string output_;
    State state_ = State::Head;
    unsigned version_ = 11;
    bool head_ = false, keepAlive_ = true, close_ = false, interim_ = false, gzip_ = false;
};

} // namespace

std::vector<std::string> converse(const Agent &agent, const std::string &bytes, const std::string &peer)
{
    Conversation c(agent, peer);
    std::vector<std::string> out;
    size_t at = 0;
    for (;;) {
        switch (c.next()) {
        case Conversation::Next::Read: {
            if (at == bytes.size())
                return out;
            beast::flat_buffer &in = c.input();
            const size_t n = std::min(bytes.size() - at, std::min(kReadSize, in.max_size() - in.size()));
            std::memcpy(in.prepare(n).data(), bytes.data() + at, n);
            in.commit(n);
            at += n;
            break;
        }
        case Conversation::Next::Work:
            c.work();
            break;
        case Conversation::Next::Write:
            out.push_back(c.output());
            if (c.written() == Conversation::After::Close)
                return out;
            break;
        case Conversation::Next::Close:
            return out;
        }
    }
}

struct Server::Impl {
    Options options;
    std::unique_ptr<Agent> agent;
    std::optional<ssl::context> tls;
    int port = 0;

    // Open connections, in all and by peer address.
    std::mutex mutex;
    size_t open = 0;
    std::map<std::string, size_t> perPeer;

    // Destroyed in reverse: the workers (joined) before the loop, whose
    // destruction ends the sessions it still holds.
    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    asio::steady_timer pause{io};
    std::unique_ptr<asio::thread_pool> workers;

    void accept();
    void take(tcp::socket socket);
    template <class Stream> void startSession(Stream stream, const std::string &peer);
};

namespace
{

// A connection's place among the open ones, given back when it ends.
class Ticket
{
public:
    Ticket(Server::Impl &server, std::string peer) : server_(server), peer_(std::move(peer)) {}
    Ticket(const Ticket &) = delete;
    ~Ticket()
    {
        std::lock_guard<std::mutex> lock(server_.mutex);
        --server_.open;
        if (--server_.perPeer[peer_] == 0)
            server_.perPeer.erase(peer_);
    }

private:
    Server::Impl &server_;
    const std::string peer_;
};

constexpr bool isTls(const beast::tcp_stream *)
{
    return false;
}
constexpr bool isTls(const beast::ssl_stream<beast::tcp_stream> *)
{
    return true;
}

template <class Stream> class Session : public std::enable_shared_from_this<Session<Stream>>
{
public:
    Session(Server::Impl &server, Stream stream, std::string peer)
        : server_(server), ticket_(server, peer), stream_(std::move(stream)), conversation_(*server.agent, peer)
    {
    }

    void start()
    {
        connected_ = Clock::now();
        if constexpr (isTls(static_cast<Stream *>(nullptr))) {
            lowest().expires_at(connected_ + deadlines().header);
            stream_.async_handshake(ssl::stream_base::server, [self = this->shared_from_this()](beast::error_code ec) {
                if (ec)
                    return self->close();
                self->conversation_.setCertificate(self->certificate());
                self->step();
            });
        } else {
            step();
        }
    }

private:
    beast::tcp_stream &lowest() { return beast::get_lowest_layer(stream_); }
    const Options::Deadlines &deadlines() const { return server_.options.deadlines; }

    std::string certificate()
    {
        if constexpr (isTls(static_cast<Stream *>(nullptr))) {
            // Only a certificate the client CA verified gets this far.
            X509 *cert = SSL_get_peer_certificate(stream_.native_handle());
            if (!cert)
                return "";
            char name[256] = {};
            X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, name, sizeof name - 1);
            X509_free(cert);
            return name[0] ? name : "(no common name)";
        }
        return "";
    }

    void step()
    {
        switch (conversation_.next()) {
        case Conversation::Next::Read:
            return read();
        case Conversation::Next::Work:
            return work();
        case Conversation::Next::Write:
            return write();
        case Conversation::Next::Close:
            return finish();
        }
    }

    void read()
    {
        const auto now = Clock::now();
        if (conversation_.waiting()) {
            started_.reset();
            lowest().expires_at(served_ ? now + deadlines().idle : connected_ + deadlines().header);
        } else {
            if (!started_)
                started_ = now;
            lowest().expires_at(*started_ + (conversation_.headerDone() ? deadlines().request : deadlines().header));
        }
        beast::flat_buffer &in = conversation_.input();
        stream_.async_read_some(in.prepare(std::min(kReadSize, in.max_size() - in.size())),
                                [self = this->shared_from_this()](beast::error_code ec, size_t n) {
                                    if (ec)
                                        return self->close();
                                    if (!self->started_)
                                        self->started_ = Clock::now();
                                    self->conversation_.input().commit(n);
                                    self->step();
                                });
    }

    void work()
    {
        auto self = this->shared_from_this();
        asio::post(*server_.workers, [self] {
            self->conversation_.work();
            asio::post(self->stream_.get_executor(), [self] { self->step(); });
        });
    }

    void write()
    {
        lowest().expires_after(deadlines().write);
        asio::async_write(stream_, asio::buffer(conversation_.output()),
                          [self = this->shared_from_this()](beast::error_code ec, size_t) {
                              if (ec)
                                  return self->close();
                              switch (self->conversation_.written()) {
                              case Conversation::After::Close:
                                  return self->finish();
                              case Conversation::After::NextRequest:
                                  self->served_ = true;
                                  self->started_.reset();
                                  break;
                              case Conversation::After::SameRequest:
                                  break;
                              }
                              self->step();
                          });
    }

    // Ends the connection after its last answer: no more is sent, and what
    // the peer still sends (a refused body) is dropped for a moment so that
    // the close does not reset the answer away.
    void finish()
    {
        beast::error_code ec;
        lowest().socket().shutdown(tcp::socket::shutdown_send, ec);
        lowest().expires_after(kLingerTime);
        linger();
    }

    void linger()
    {
        // Only the loop's one thread reads into it, and never looks.
        static char dropped[4096];
        lowest().async_read_some(asio::buffer(dropped),
                                 [self = this->shared_from_this()](beast::error_code ec, size_t n) {
                                     self->lingered_ += n;
                                     if (ec || self->lingered_ > kLingerBytes)
                                         return self->close();
                                     self->linger();
                                 });
    }

    void close()
    {
        beast::error_code ec;
        lowest().socket().close(ec);
    }

    Server::Impl &server_;
    Ticket ticket_;
    Stream stream_;
    Conversation conversation_;
    Clock::time_point connected_;
    std::optional<Clock::time_point> started_;
    bool served_ = false;
    size_t lingered_ = 0;
};

} // namespace

void Server::Impl::accept()
{
    acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted)
            return;
        if (ec) {
            // Out of descriptors or memory for a moment: try again shortly
            // rather than spin on the same error.
            pause.expires_after(std::chrono::milliseconds(100));
            pause.async_wait([this](beast::error_code waited) {
                if (!waited)
                    accept();
            });
            return;
        }
        take(std::move(socket));
        accept();
    });
}

void Server::Impl::take(tcp::socket socket)
{
    beast::error_code ec;
    const tcp::endpoint remote = socket.remote_endpoint(ec);
    if (ec)
        return;
    std::string peer = remote.address().to_string();
    {
        // Over a limit the connection is closed at once, without a word: no
        // worker, no buffer and no TLS handshake spent on it.
        std::lock_guard<std::mutex> lock(mutex);
        if (open >= kMaxConnections || perPeer[peer] >= kMaxPerPeer) {
            if (perPeer[peer] == 0)
                perPeer.erase(peer);
            return;
        }
        ++open;
        ++perPeer[peer];
    }
    // Without it a small answer waits for the client's delayed ACK (~40 ms).
    socket.set_option(tcp::no_delay(true), ec);
    if (tls)
        startSession(beast::ssl_stream<beast::tcp_stream>(std::move(socket), *tls), peer);
    else
        startSession(beast::tcp_stream(std::move(socket)), peer);
}

template <class Stream> void Server::Impl::startSession(Stream stream, const std::string &peer)
{
    std::make_shared<Session<Stream>>(*this, std::move(stream), peer)->start();
}

namespace
{

// TLS 1.2 at least whatever the system's OpenSSL settings allow, with
// forward-secret AEAD suites only (TLS 1.3's are all of that kind).
bool makeTls(const Options &options, bool tokens, std::optional<ssl::context> &tls)
{
    try {
        tls.emplace(ssl::context::tls_server);
        SSL_CTX *ctx = tls->native_handle();
        if (SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1 ||
            SSL_CTX_set_cipher_list(ctx, "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                                         "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                                         "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305") != 1)
            return false;
        tls->set_options(ssl::context::default_workarounds | ssl::context::no_compression | SSL_OP_NO_RENEGOTIATION |
                         SSL_OP_CIPHER_SERVER_PREFERENCE);
        // An idle connection gives its TLS buffers back.
        SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS);
        tls->use_certificate_chain_file(options.tlsCert);
        tls->use_private_key_file(options.tlsKey, ssl::context::pem);
        if (!options.clientCa.empty()) {
            tls->load_verify_file(options.clientCa);
            STACK_OF(X509_NAME) *names = SSL_load_client_CA_file(options.clientCa.c_str());
            if (!names)
                return false;
            SSL_CTX_set_client_CA_list(ctx, names);
            // With tokens too, a client may come with a token alone: the
            // certificate is asked for, not required. A certificate given
            // must still be one the client CA signed.
            tls->set_verify_mode(tokens ? ssl::verify_peer : ssl::verify_peer | ssl::verify_fail_if_no_peer_cert);
            static const unsigned char context[] = "halvo-agent";
            SSL_CTX_set_session_id_context(ctx, context, sizeof context - 1);
        }
        return SSL_CTX_check_private_key(ctx) == 1;
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace

Server::Server() : impl_(std::make_unique<Impl>()) {}

Server::~Server()
{
    stop();
}

bool Server::start(const Options &options, std::string &error)
{
    Impl &d = *impl_;
    d.options = options;
    std::map<std::string, Token> tokens;
    if (!checkSecurity(options, error) || !readTokens(options, tokens, error))
        return false;
    if (!options.tlsCert.empty() && !makeTls(options, !tokens.empty(), d.tls)) {
        error = "the certificate, key or client CA cannot be used";
        return false;
    }
    d.agent = std::make_unique<Agent>(d.options, std::move(tokens));
    beast::error_code ec;
    tcp::endpoint where;
    const asio::ip::address address = asio::ip::make_address(options.bind, ec);
    if (!ec) {
        where = tcp::endpoint(address, static_cast<unsigned short>(options.port));
    } else {
        tcp::resolver resolver(d.io);
        const auto found = resolver.resolve(options.bind, std::to_string(options.port), ec);
        if (!ec && !found.empty())
            where = found.begin()->endpoint();
    }
    if (!ec) {
        d.acceptor.open(where.protocol(), ec);
        if (!ec)
            d.acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
        if (!ec)
            d.acceptor.bind(where, ec);
        if (!ec)
            d.acceptor.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (ec) {
        error = "cannot listen on " + options.bind + " port " + std::to_string(options.port);
        d.acceptor.close(ec);
        return false;
    }
    d.port = d.acceptor.local_endpoint(ec).port();
    d.workers = std::make_unique<asio::thread_pool>(kWorkers);
    return true;
}

int Server::port() const
{
    return impl_->port;
}

bool Server::serve()
{
    Impl &d = *impl_;
    if (!d.acceptor.is_open())
        return false;
    d.accept();
    d.io.run();
    return true;
}

void Server::stop()
{
    impl_->io.stop();
}

} // namespace halvo::agent
