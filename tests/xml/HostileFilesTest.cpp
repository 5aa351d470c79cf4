#include "common/Failure.h"
#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

namespace {

class HostileFilesTest : public testing::Test {
protected:
    // Loads the file; a failure must be the class error. Returns whether it loaded, and
    // checks that loading wrote nothing, neither into the file nor beside it.
    bool LoadsOrFailsCleanly(const std::string& path) {
        const std::string before = ReadFileBytes(path);
        const auto entries = FolderEntries();
        bool loaded = true;
        try {
            doc.Load(path, kRidoRuduDeclaration);
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.number, kClassErrorNumber);
            EXPECT_EQ(failure.description.rfind("Error in Function 'DOMWrapper.Load' \r\n"
                                                "Argument(s) : " +
                                                    path + "\r\nParse-Error : \r\n",
                                                0),
                      0u)
                << failure.description;
            loaded = false;
        }
        EXPECT_EQ(ReadFileBytes(path), before);
        EXPECT_EQ(FolderEntries(), entries);
        return loaded;
    }

    size_t FolderEntries() const {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(files.dir()),
                                                 std::filesystem::directory_iterator()));
    }

    // Saves, and returns the file loaded again.
    std::unique_ptr<DOMWrapper> SaveAndReload(const std::string& name) {
        doc.Save(files.Path(name));
        auto again = std::make_unique<DOMWrapper>();
        again->Load(files.Path(name));
        return again;
    }

    TempFiles files;
    ScriptedMessageBox boxes;
    DOMWrapper doc;
};

TEST_F(HostileFilesTest, ExternalEntitiesNeverReadLocalFilesOrTheNetwork) {
    const std::string secret = files.Write("secret.txt", "TOP-SECRET");
    const std::string dtd = files.Write("evil.dtd", "<!ENTITY s SYSTEM \"file://" + secret +
                                                        "\"><!ATTLIST r a CDATA \"TOP-SECRET\">");
    // A file that needs its external parameter entity to make sense is refused; the others
    // load without what they point to.
    const std::pair<std::string, bool> cases[] = {
        {"<!DOCTYPE r [<!ENTITY s SYSTEM \"file://" + secret + "\">]><r><v>&s;</v></r>", true},
        {"<!DOCTYPE r [<!ENTITY % p SYSTEM \"file://" + dtd + "\"> %p;]><r><v>&s;</v></r>", false},
        {"<!DOCTYPE r SYSTEM \"file://" + dtd + "\"><r><v>&s;</v></r>", true},
        {"<r xmlns:xi=\"http://www.w3.org/2001/XInclude\"><v><xi:include href=\"" + secret +
             "\" parse=\"text\"/></v></r>",
         true},
    };
    for (const auto& [content, loads] : cases) {
        SCOPED_TRACE(content);
        ASSERT_EQ(LoadsOrFailsCleanly(files.Write("xxe.xml", content)), loads);
        if (!loads)
            continue;
        EXPECT_EQ(doc.GetElementValue("/r", false).find("TOP-SECRET"), std::string::npos);
        EXPECT_EQ(doc.GetElementValue("/r/@a", true), "");
        SaveAndReload("xxe-out.xml");
        EXPECT_EQ(ReadFileBytes(files.Path("xxe-out.xml")).find("TOP-SECRET"), std::string::npos);
    }

    // A loopback listener the parser must never connect to.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    for (const std::string& content : {
             "<!DOCTYPE r [<!ENTITY s SYSTEM \"" + url + "/s\">]><r>&s;</r>",
             "<!DOCTYPE r PUBLIC \"-//X//Y\" \"" + url + "/r.dtd\"><r a=\"&s;\"/>",
         }) {
        SCOPED_TRACE(content);
        EXPECT_TRUE(LoadsOrFailsCleanly(files.Write("net.xml", content)));
        const int client = ::accept(listener, nullptr, nullptr);
        EXPECT_LT(client, 0) << "the parser connected to " << url;
        if (client >= 0)
            ::close(client);
    }
    ::close(listener);
}

TEST_F(HostileFilesTest, EntityBombsFail) {
    // Exponential: eleven levels of ten references to a ten-character text.
    std::string bomb = "<!DOCTYPE r [<!ENTITY a0 \"xxxxxxxxxx\">";
    for (int i = 1; i < 12; ++i) {
        bomb += "<!ENTITY a" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k)
            bomb += "&a" + std::to_string(i - 1) + ";";
        bomb += "\">";
    }
    EXPECT_FALSE(LoadsOrFailsCleanly(files.Write("bomb.xml", bomb + "]><r>&a11;</r>")));

    // Quadratic: a 100 KB entity referenced 20,000 times stands for 2 GB of text.
    std::string quadratic = "<!DOCTYPE r [<!ENTITY big \"" + std::string(100000, 'x') + "\">]><r>";
    for (int i = 0; i < 20000; ++i)
        quadratic += "&big;";
    EXPECT_FALSE(LoadsOrFailsCleanly(files.Write("quadratic.xml", quadratic + "</r>")));
}

TEST_F(HostileFilesTest, NulBytesAndInvalidUtf8FailWithTheClassError) {
    const std::string cases[] = {
        std::string("<r>\0</r>", 8),
        "<r>\xC3\x28</r>", // broken two-byte sequence
    };
    for (const std::string& content : cases) {
        SCOPED_TRACE(content);
        EXPECT_FALSE(LoadsOrFailsCleanly(files.Write("bad.xml", content)));
        EXPECT_EQ(doc.GetElementValue("/r", true), "");
    }
}

// A value, name or comment the file could not hold is refused, so a save never writes a
// file that does not load again. libxml2's own name check reads broken UTF-8 as other
// characters and stops at a NUL.
TEST_F(HostileFilesTest, TextXmlCannotHoldIsRefusedAndTheDocumentKept) {
    ASSERT_TRUE(LoadsOrFailsCleanly(files.Write(
        "values.xml", "<?top data?><r a=\"1\"><!-- note --><v>old</v><c><![CDATA[x]]></c></r>")));
    const auto expectRefused = [this](const char* path, const std::string& value) {
        SCOPED_TRACE(std::string(path) + " <- " + value);
        try {
            doc.SetElementValue(path, value);
            ADD_FAILURE() << "value accepted";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.number, kClassErrorNumber);
        }
    };
    for (const std::string& value : {std::string("bell\x07"), std::string("nul\0byte", 8),
                                     std::string("\xC3\x28"), std::string("\xEF\xBF\xBE")}) {
        for (const char* target : {"/r/v", "/r/@a", "/r/c/text()"})
            expectRefused(target, value);
    }
    expectRefused("//comment()", "a--b");
    expectRefused("//comment()", "ends with -");
    expectRefused("/processing-instruction()", "a?>b");
    // Attribute values set by the path edits and the record builders are checked alike.
    EXPECT_THROW(doc.AppendNode("/r", "n", "", "k", "bell\x07"), Failure);
    EXPECT_THROW(doc.SetAttributes("/r", 0, "\xC3\x28"), Failure);
    doc.GetElementValue("/r/v", false);
    EXPECT_THROW(doc.AddDatas("nul\x01"), Failure);
    EXPECT_THROW(doc.AddField("A", "\xBE\xBE", "v"), Failure);
    for (const std::string& name : {std::string("\x9A\xA1\xB0=\xA9"), std::string("v\0=x", 4)}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(doc.AppendNode("/r", name), Failure);
        EXPECT_THROW(doc.AppendNode("/r", "n", "", name, "1"), Failure);
        doc.GetElementValue("/r/v", false);
        EXPECT_THROW(doc.AddNode(name), Failure);
        DOMWrapper fresh;
        EXPECT_THROW(fresh.NewDoc(name), Failure);
    }
    EXPECT_EQ(doc.CountElementsByTagName("*"), 3);
    EXPECT_EQ(doc.GetElementValue("/r/v", false), "old");
    EXPECT_EQ(doc.GetElementValue("/r/@a", false), "1");
    EXPECT_EQ(doc.GetElementValue("//comment()", false), " note ");
    EXPECT_EQ(doc.GetElementValue("/processing-instruction()", false), "data");

    doc.SetElementValue("/r/c/text()", "a ]]> b");
    doc.SetElementValue("//comment()", std::string("- a - b ->"));
    const auto again = SaveAndReload("values-out.xml");
    EXPECT_EQ(again->GetElementValue("/r/c", false), "a ]]> b");
    EXPECT_EQ(again->GetElementValue("//comment()", false), "- a - b ->");
}

} // namespace
