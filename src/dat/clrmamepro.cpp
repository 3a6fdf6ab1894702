#include "dat/clrmamepro.h"

#include <string>
#include <string_view>

namespace {

enum class TokenKind { Open, Close, Word, End, Error };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    std::uint64_t line = 1; // where it starts
};

bool isBlank(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Splits the text into parentheses, quoted strings and bare words. In a
// quoted string \" stands for a quote and \\ for a backslash; any other
// backslash is kept, as names use it as a folder separator.
class Tokens {
  public:
    explicit Tokens(std::span<const std::uint8_t> bytes)
        : bytes_(bytes), at_(datTextStart(bytes)) {}

    Token next() {
        while (at_ < bytes_.size() && isBlank(bytes_[at_])) {
            line_ += bytes_[at_] == '\n' ? 1 : 0;
            ++at_;
        }
        Token token;
        token.line = line_;
        last_ = line_;
        if (at_ == bytes_.size()) {
            return token;
        }
        const std::uint8_t c = bytes_[at_];
        if (c == '(' || c == ')') {
            ++at_;
            token.kind = c == '(' ? TokenKind::Open : TokenKind::Close;
            return token;
        }
        token.kind = TokenKind::Word;
        if (c == '"') {
            ++at_;
            while (true) {
                if (at_ == bytes_.size() || token.text.size() > datMaxFieldLength) {
                    // Unterminated, or longer than any field.
                    token.kind = TokenKind::Error;
                    return token;
                }
                std::uint8_t b = bytes_[at_++];
                if (b == '"') {
                    return token;
                }
                line_ += b == '\n' ? 1 : 0;
                if (b == '\\' && at_ < bytes_.size() &&
                    (bytes_[at_] == '"' || bytes_[at_] == '\\')) {
                    b = bytes_[at_++];
                }
                token.text.push_back(static_cast<char>(b));
            }
        }
        while (at_ < bytes_.size() && !isBlank(bytes_[at_]) && bytes_[at_] != '(' &&
               bytes_[at_] != ')') {
            if (token.text.size() == datMaxFieldLength) {
                token.kind = TokenKind::Error;
                return token;
            }
            token.text.push_back(static_cast<char>(bytes_[at_++]));
        }
        return token;
    }

    // The line of the last token read: where a malformed file goes wrong.
    std::uint64_t lastLine() const { return last_; }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
    std::uint64_t line_ = 1;
    std::uint64_t last_ = 1;
};

class Parser {
  public:
    explicit Parser(std::span<const std::uint8_t> bytes) : tokens_(bytes) {}

    DatParse parse() {
        std::optional<Dat> dat = parseBlocks();
        if (!dat) {
            return {std::nullopt, tokens_.lastLine()};
        }
        return {std::move(dat), 0};
    }

  private:
    std::optional<Dat> parseBlocks() {
        bool any = false;
        while (true) {
            Token key = tokens_.next();
            if (key.kind == TokenKind::End) {
                break;
            }
            if (key.kind != TokenKind::Word || tokens_.next().kind != TokenKind::Open) {
                return std::nullopt;
            }
            any = true;
            bool ok = false;
            if (key.text == "clrmamepro") {
                ok = header();
            } else if (key.text == "game" || key.text == "machine" || key.text == "resource") {
                ok = game();
            } else {
                ok = skipBlock(1);
            }
            if (!ok) {
                return std::nullopt;
            }
        }
        if (!any) {
            return std::nullopt;
        }
        return builder_.finish();
    }

    // The fields of a block, the opening parenthesis read: calls field for
    // each key with a word value and the value's line, block for each key
    // with a block (which must consume it up to its closing parenthesis).
    template <class Field, class Block> bool fields(Field field, Block block) {
        while (true) {
            Token key = tokens_.next();
            if (key.kind == TokenKind::Close) {
                return true;
            }
            if (key.kind != TokenKind::Word) {
                return false;
            }
            Token value = tokens_.next();
            if (value.kind == TokenKind::Close) {
                // A lone flag word ends the block.
                return field(key.text, std::string(), key.line);
            }
            if (value.kind == TokenKind::Open) {
                if (!block(key.text)) {
                    return false;
                }
            } else if (value.kind != TokenKind::Word || !field(key.text, value.text, value.line)) {
                return false;
            }
        }
    }

    // Skips to the parenthesis that closes a block opened depth levels up.
    bool skipBlock(std::size_t depth) {
        while (depth > 0) {
            const Token token = tokens_.next();
            switch (token.kind) {
            case TokenKind::Open:
                if (++depth > datMaxDepth) {
                    return false;
                }
                break;
            case TokenKind::Close:
                --depth;
                break;
            case TokenKind::Word:
                break;
            case TokenKind::End:
            case TokenKind::Error:
                return false;
            }
        }
        return true;
    }

    bool header() {
        return fields(
            [&](const std::string& key, const std::string& value, std::uint64_t) {
                if (key == "name") {
                    builder_.setName(value);
                } else if (key == "version") {
                    builder_.setVersion(value);
                }
                return true;
            },
            [&](const std::string&) { return skipBlock(1); });
    }

    bool game() {
        builder_.beginGame("");
        std::string name;
        const bool ok = fields(
            [&](const std::string& key, const std::string& value, std::uint64_t) {
                if (key == "name") {
                    name = value;
                }
                return true;
            },
            [&](const std::string& key) {
                if (key != "rom") {
                    return skipBlock(1);
                }
                builder_.beginRom();
                return fields(
                    [&](const std::string& field, const std::string& value, std::uint64_t line) {
                        return builder_.romField(field, value, line);
                    },
                    [&](const std::string&) { return skipBlock(1); });
            });
        builder_.endGame();
        builder_.setLastGameName(name);
        return ok;
    }

    Tokens tokens_;
    DatBuilder builder_;
};

} // namespace

DatParse parseClrMameProDat(std::span<const std::uint8_t> bytes) {
    return Parser(bytes).parse();
}
