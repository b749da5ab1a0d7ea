#include <gtest/gtest.h>

#include "main/host_address.h"

TEST(HostAddress, ReadsEveryFormAndRefusesBadPorts) {
    for (const auto& [text, expected] : std::vector<std::pair<std::string, std::string>>{
             {"game1.example.net", "game1.example.net 22"}, {"10.0.0.5:2222", "10.0.0.5 2222"},
             {"h:1", "h 1"}, {"h:065535", "h 65535"}, {"::1", "::1 22"}, {"[::1]", "::1 22"},
             {"2001:db8::5", "2001:db8::5 22"}, {"[2001:db8::5]:80", "2001:db8::5 80"},
             {"h:0", ""}, {"h:65536", ""}, {"h:99999999999", ""}, {"h:", ""}, {"h:-1", ""},
             {"h:+1", ""}, {"h: 1", ""}, {"h:1x", ""}, {":22", ""}, {"[::1]:", ""}, {"[::1]22", ""},
             {"[::1", ""}, {"[]", ""}, {"[]:22", ""}, {"", ""}}) {  // "": refused
        const auto parsed = fieldkeep::parseHostAddress(text);
        EXPECT_EQ(parsed ? parsed->host + " " + std::to_string(parsed->port) : "", expected) << text;
    }
}
