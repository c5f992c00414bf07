// Published signing vectors, byte for byte, and signatures over random text checked from the
// header as a server would read it.
#include "services/oauth/Crypto.h"
#include "services/oauth/OAuth1.h"
#include "services/oauth/OAuth2.h"

#include <gtest/gtest.h>
#include <random>

namespace tx {
namespace {

OAuth1Signer fixedSigner(OAuthConsumer consumer, std::optional<OAuthToken> token,
                         std::int64_t timestamp, std::string nonce) {
    OAuth1Signer signer(std::move(consumer), std::move(token));
    signer.setClock([timestamp] { return timestamp; });
    signer.setNonceSource([nonce] { return nonce; });
    return signer;
}

TEST(OAuth1Signing, BaseStringNormalisesDoubleEncodingRepeatsAndEmptyValues) {
    OAuth1Signer signer =
        fixedSigner({"9djdj82h48djs9d2", "j49sk3j29djd"},
                    OAuthToken{"kkk9d7dh3k39sjv7", "dh893hdasih9", {}}, 137131201, "7d8f3e4a");
    signer.setIncludesVersion(false);
    const auto result = signer.sign(
        "POST", "http://example.com/request?b5=%3D%253D&a3=a&c%40=&a2=r%20b", "c2&a3=2+q");
    EXPECT_EQ(
        result.baseString,
        "POST&http%3A%2F%2Fexample.com%2Frequest&a2%3Dr%2520b%26a3%3D2%2520q%26a3%3Da%26b5%3D%"
        "253D%25253D%26c%2540%3D%26c2%3D%26oauth_consumer_key%3D9djdj82h48djs9d2%26oauth_"
        "nonce%3D7d8f3e4a%26oauth_signature_method%3DHMAC-SHA1%26oauth_timestamp%"
        "3D137131201%26oauth_token%3Dkkk9d7dh3k39sjv7");
}

TEST(OAuth1Signing, PublishedSignaturesMatch) {
    struct Case {
        const char* name;
        const char* method;
        const char* url;
        const char* body;
        OAuthConsumer consumer;
        OAuthToken token;
        std::int64_t timestamp;
        const char* nonce;
        bool version;
        const char* want;
    };
    const OAuthConsumer photos{"dpf43f3p2l4k3l03", "kd94hf93k423kf44"};
    const OAuthToken photosToken{"nnch734d00sl2jdk", "pfkkdhi9sl3r4s00", {}};
    const OAuthConsumer twitter{"xvz1evFS4wEEPTGEFPHBog",
                                "kAcSOqF21Fu85e7zjz7ZN2U4ZRhfV3WpwPAoE3Z7kBw"};
    const OAuthToken twitterToken{"370773112-GmHxMAgYyLbNEtIKZeRNFsMKPR9EyMZeS9weJAEb",
                                  "LswwdoUaIvS8ltyTt5jkRh4J50vUPVVHtR2YPi5kE",
                                  {}};
    const char* status =
        "status=Hello%20Ladies%20%2B%20Gentlemen%2C%20a%20signed%20OAuth%20request%21";
    const char* nonce = "kYjzVBB8Y0ZFabxSWbWovY3uYSQ2pTgmZeNu2VS4cg";
    const Case cases[] = {
        {"rfc5849", "GET", "http://photos.example.net/photos?file=vacation.jpg&size=original", "",
         photos, photosToken, 137131202, "chapoH", false, "MdpQcU8iPSUjWoN/UDMsK2sui9I="},
        {"core1.0", "GET", "http://photos.example.net/photos?file=vacation.jpg&size=original", "",
         photos, photosToken, 1191242096, "kllo9940pd9333jh", true, "tR3+Ty81lMeYAr/Fid0kMTYa/WM="},
        {"twitter1.1", "POST",
         "https://api.twitter.com/1.1/statuses/update.json?include_entities=true", status, twitter,
         twitterToken, 1318622958, nonce, true, "hCtSmYh+iHYCEqBWrE7C7hYmtUk="},
        {"twitter1", "POST", "https://api.twitter.com/1/statuses/update.json?include_entities=true",
         status, twitter, twitterToken, 1318622958, nonce, true, "tnnArxj06cWHq44gCs1OSKk/jLY="},
        {"x1.1", "POST", "https://api.x.com/1.1/statuses/update.json?include_entities=true", status,
         twitter, twitterToken, 1318622958, nonce, true, "Ls93hJiZbQ3akF3HF3x1Bz8/zU4="},
    };
    for (const Case& c : cases) {
        OAuth1Signer signer = fixedSigner(c.consumer, c.token, c.timestamp, c.nonce);
        signer.setIncludesVersion(c.version);
        const auto result = signer.sign(c.method, c.url, c.body);
        EXPECT_EQ(result.signature, c.want) << c.name;
        // The header carries the signature percent-encoded and verifies as received.
        EXPECT_NE(
            result.authorization.find("oauth_signature=\"" + Url::percentEncode(c.want) + "\""),
            std::string::npos)
            << c.name;
        EXPECT_TRUE(verifyOAuthRequest(result.authorization, c.method, c.url, c.body,
                                       c.consumer.secret, c.token.secret))
            << c.name;
    }
}

TEST(OAuth1Signing, PercentEncodingKeepsOnlyUnreservedCharacters) {
    EXPECT_EQ(Url::percentEncode("Ladies + Gentlemen"), "Ladies%20%2B%20Gentlemen");
    EXPECT_EQ(Url::percentEncode("An encoded string!"), "An%20encoded%20string%21");
    EXPECT_EQ(Url::percentEncode("Dogs, Cats & Mice"), "Dogs%2C%20Cats%20%26%20Mice");
    EXPECT_EQ(Url::percentEncode("\xE2\x98\x83"), "%E2%98%83");
    EXPECT_EQ(Url::percentEncode("azAZ09-._~"), "azAZ09-._~");
}

TEST(OAuth1Signing, PrimitivesMatchTheirStandards) {
    EXPECT_EQ(Crypto::hex(Crypto::hmacSha1(std::string(20, '\x0b'), "Hi There")),
              "b617318655057264e28bc0b6fb378c8ef146be00");
    EXPECT_EQ(Pkce::challengeFor("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    const Pkce pkce = Pkce::make();
    EXPECT_EQ(pkce.verifier.size(), 43u);
    EXPECT_NE(pkce.verifier, Pkce::make().verifier);
    EXPECT_NE(makeOAuthState(), makeOAuthState());
}

// Random Unicode text in the address, the query and the body: whatever is signed must verify
// from the header text alone, and a changed body must not.
TEST(OAuth1Signing, RandomUnicodeRequestsVerifyFromTheHeaderAsReceived) {
    std::mt19937 random(20261209);
    const std::vector<std::string> pieces = {"a",
                                             "Z",
                                             "0",
                                             " ",
                                             "+",
                                             "&",
                                             "=",
                                             "%",
                                             "%20",
                                             "~",
                                             "\xC3\xA9",
                                             "\xE2\x98\x83",
                                             "\xF0\x9F\x8E\xA5",
                                             "*",
                                             "'",
                                             "\"",
                                             "/",
                                             "?",
                                             "#",
                                             ","};
    auto text = [&](int count) {
        std::string result;
        for (int i = 0; i < count; ++i) {
            result += pieces[random() % pieces.size()];
        }
        return result;
    };
    for (int round = 0; round < 200; ++round) {
        const OAuthConsumer consumer{text(5), text(12)};
        const OAuthToken token{text(6), text(10), {}};
        OAuth1Signer signer(consumer, token);
        const FormFields query = {{text(3), text(4)}, {text(2), text(5)}};
        const FormFields body = {{"status", text(20)}, {text(3), ""}};
        const std::string url =
            Url::appendingQuery("https://api.example.org/1/" + Url::percentEncode(text(3)), query);
        const std::string form = Url::encodeForm(body);
        const auto result = signer.sign(round % 2 ? "POST" : "GET", url, form);
        ASSERT_TRUE(verifyOAuthRequest(result.authorization, round % 2 ? "POST" : "GET", url, form,
                                       consumer.secret, token.secret))
            << url << " " << form;
        EXPECT_FALSE(verifyOAuthRequest(result.authorization, round % 2 ? "POST" : "GET", url,
                                        form + "x", consumer.secret, token.secret));
    }
}

TEST(OAuthRedirect, ReadsCodeStateAndErrors) {
    auto ok = parseOAuthRedirect("/cb?code=C%2B1&state=S#frag");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->code, "C+1");
    EXPECT_EQ(ok->state, "S");
    auto denied = parseOAuthRedirect(
        "http://127.0.0.1:5/cb?error=access_denied&error_reason=user_denied&state=S");
    ASSERT_TRUE(denied);
    EXPECT_EQ(denied->error, "access_denied");
    EXPECT_EQ(denied->errorReason, "user_denied");
    EXPECT_FALSE(parseOAuthRedirect("/cb?state=S"));
    EXPECT_FALSE(parseOAuthRedirect("/cb"));
}

} // namespace
} // namespace tx
