// A strict JSON reader (RFC 8259) for checking what programs write: one
// value with nothing but white space around it, strings of valid UTF-8
// without raw control characters, numbers in JSON's own grammar, no
// duplicate keys. Numbers keep their text, so that exact decimals compare
// exactly; objects keep their key order.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace test::json {

struct member;

struct value {
	enum kind_t { null, boolean, number, string, array, object } kind = null;
	std::string text; // number: as written; string: decoded; boolean: "true" or "false"
	std::vector<value> items;
	std::vector<member> members;

	const value *find(std::string_view key) const;
};

struct member {
	std::string first; // the key
	value second;
};

inline const value *value::find(std::string_view key) const {
	for (const auto &[k, v] : members)
		if (k == key)
			return &v;
	return nullptr;
}

namespace detail {

class reader {
	std::string_view s_;
	size_t at_ = 0;
	int depth_ = 0;

	bool eat(char c) {
		if (at_ < s_.size() && s_[at_] == c) {
			at_++;
			return true;
		}
		return false;
	}
	bool eat(std::string_view word) {
		if (s_.substr(at_, word.size()) != word)
			return false;
		at_ += word.size();
		return true;
	}
	void space() {
		while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r'))
			at_++;
	}
	bool digit() const { return at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9'; }
	bool digits() {
		if (!digit())
			return false;
		while (digit())
			at_++;
		return true;
	}

	bool number(value &v) {
		size_t begin = at_;
		eat('-');
		if (eat('0')) {
			if (digit())
				return false;
		} else if (!digits()) {
			return false;
		}
		if (eat('.') && !digits())
			return false;
		if (eat('e') || eat('E')) {
			if (!eat('+'))
				eat('-');
			if (!digits())
				return false;
		}
		v.kind = value::number;
		v.text = std::string(s_.substr(begin, at_ - begin));
		return true;
	}

	std::optional<uint32_t> hex4() {
		if (at_ + 4 > s_.size())
			return std::nullopt;
		uint32_t u = 0;
		for (int i = 0; i < 4; i++) {
			char c = s_[at_++];
			u <<= 4;
			if (c >= '0' && c <= '9')
				u |= static_cast<uint32_t>(c - '0');
			else if (c >= 'a' && c <= 'f')
				u |= static_cast<uint32_t>(c - 'a' + 10);
			else if (c >= 'A' && c <= 'F')
				u |= static_cast<uint32_t>(c - 'A' + 10);
			else
				return std::nullopt;
		}
		return u;
	}

	static void utf8(std::string &out, uint32_t cp) {
		if (cp < 0x80) {
			out += static_cast<char>(cp);
		} else if (cp < 0x800) {
			out += static_cast<char>(0xC0 | (cp >> 6));
			out += static_cast<char>(0x80 | (cp & 0x3F));
		} else if (cp < 0x10000) {
			out += static_cast<char>(0xE0 | (cp >> 12));
			out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
			out += static_cast<char>(0x80 | (cp & 0x3F));
		} else {
			out += static_cast<char>(0xF0 | (cp >> 18));
			out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
			out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
			out += static_cast<char>(0x80 | (cp & 0x3F));
		}
	}

	// One UTF-8 sequence, shortest form, no surrogates, at most U+10FFFF.
	bool raw_utf8(std::string &out) {
		auto b = static_cast<unsigned char>(s_[at_]);
		int more = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : -1;
		if (more < 0 || at_ + 1 + static_cast<size_t>(more) > s_.size())
			return false;
		uint32_t cp = b & (0x3F >> more);
		for (int i = 1; i <= more; i++) {
			auto c = static_cast<unsigned char>(s_[at_ + static_cast<size_t>(i)]);
			if ((c & 0xC0) != 0x80)
				return false;
			cp = (cp << 6) | (c & 0x3F);
		}
		if ((more == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
			return false;
		out.append(s_.substr(at_, 1 + static_cast<size_t>(more)));
		at_ += 1 + static_cast<size_t>(more);
		return true;
	}

	bool string(std::string &out) {
		if (!eat('"'))
			return false;
		for (;;) {
			if (at_ >= s_.size())
				return false;
			auto c = static_cast<unsigned char>(s_[at_]);
			if (c == '"') {
				at_++;
				return true;
			}
			if (c < 0x20)
				return false;
			if (c >= 0x80) {
				if (!raw_utf8(out))
					return false;
				continue;
			}
			at_++;
			if (c != '\\') {
				out += static_cast<char>(c);
				continue;
			}
			if (at_ >= s_.size())
				return false;
			char e = s_[at_++];
			switch (e) {
			case '"': out += '"'; break;
			case '\\': out += '\\'; break;
			case '/': out += '/'; break;
			case 'b': out += '\b'; break;
			case 'f': out += '\f'; break;
			case 'n': out += '\n'; break;
			case 'r': out += '\r'; break;
			case 't': out += '\t'; break;
			case 'u': {
				auto u = hex4();
				if (!u || (*u >= 0xDC00 && *u <= 0xDFFF))
					return false;
				uint32_t cp = *u;
				if (cp >= 0xD800 && cp <= 0xDBFF) {
					if (!eat("\\u"))
						return false;
					auto low = hex4();
					if (!low || *low < 0xDC00 || *low > 0xDFFF)
						return false;
					cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
				}
				utf8(out, cp);
				break;
			}
			default:
				return false;
			}
		}
	}

	bool element(value &v) {
		if (++depth_ > 64)
			return false;
		space();
		bool ok = false;
		if (at_ >= s_.size()) {
			ok = false;
		} else if (s_[at_] == '{') {
			at_++;
			v.kind = value::object;
			space();
			ok = eat('}');
			while (!ok) {
				std::string key;
				value item;
				space();
				if (!string(key))
					break;
				space();
				if (!eat(':') || !element(item) || v.find(key))
					break;
				v.members.push_back({std::move(key), std::move(item)});
				if (eat('}')) {
					ok = true;
				} else if (!eat(',')) {
					break;
				}
			}
		} else if (s_[at_] == '[') {
			at_++;
			v.kind = value::array;
			space();
			ok = eat(']');
			while (!ok) {
				value item;
				if (!element(item))
					break;
				v.items.push_back(std::move(item));
				if (eat(']'))
					ok = true;
				else if (!eat(','))
					break;
			}
		} else if (s_[at_] == '"') {
			v.kind = value::string;
			ok = string(v.text);
		} else if (eat("true")) {
			v.kind = value::boolean;
			v.text = "true";
			ok = true;
		} else if (eat("false")) {
			v.kind = value::boolean;
			v.text = "false";
			ok = true;
		} else if (eat("null")) {
			ok = true;
		} else {
			ok = number(v);
		}
		space();
		depth_--;
		return ok;
	}

public:
	explicit reader(std::string_view s) : s_(s) {}
	std::optional<value> document() {
		value v;
		if (!element(v) || at_ != s_.size())
			return std::nullopt;
		return v;
	}
};

} // namespace detail

// The value the text holds, or nothing when it is not exactly one JSON value.
inline std::optional<value> parse(std::string_view text) { return detail::reader(text).document(); }

// The value written back compactly, strings escaped only where JSON needs it:
// a parsed object compares with the text expected of it.
inline std::string compact(const value &v) {
	auto quoted = [](const std::string &s) {
		std::string out = "\"";
		for (unsigned char c : s) {
			if (c == '"' || c == '\\') {
				out += '\\';
				out += static_cast<char>(c);
			} else if (c < 0x20) {
				char esc[8];
				std::snprintf(esc, sizeof esc, "\\u%04x", c);
				out += esc;
			} else {
				out += static_cast<char>(c);
			}
		}
		return out + "\"";
	};
	switch (v.kind) {
	case value::null: return "null";
	case value::boolean:
	case value::number: return v.text;
	case value::string: return quoted(v.text);
	case value::array: {
		std::string out = "[";
		for (size_t i = 0; i < v.items.size(); i++)
			out += (i ? "," : "") + compact(v.items[i]);
		return out + "]";
	}
	case value::object: {
		std::string out = "{";
		for (size_t i = 0; i < v.members.size(); i++)
			out += (i ? "," : "") + quoted(v.members[i].first) + ":" + compact(v.members[i].second);
		return out + "}";
	}
	}
	return "";
}

} // namespace test::json
