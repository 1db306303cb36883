#include "emulator/description.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace zv::emulator {

namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

// One logical line: its tokens and the number of the physical line it starts on.
struct Line {
    std::vector<Token> tokens;
    unsigned number = 0;
};

class Parser {
public:
    Parser(const std::string& name, BusDescription& out) : name_(name), out_(out) {}

    bool run(const std::string& text);
    std::string error;

private:
    bool fail(const std::string& what) {
        error = name_ + ":" + std::to_string(line_.number) + ": " + what;
        return false;
    }
    bool lex(const std::string& physical, bool& continues);
    bool statement();
    bool adapter_line();
    bool bus_line();
    bool device_line();
    bool fault_line();
    bool device_option(DeviceConfig& device, const std::string& key);
    bool tape_option(TapeOptions& tape, const std::string& key, bool& known);

    // Token access for the current line.
    bool more() const { return next_ < line_.tokens.size(); }
    const Token& peek() const { return line_.tokens[next_]; }
    bool value(const std::string& key, std::string& text) {
        if (!more()) return fail("\"" + key + "\" needs a value");
        text = line_.tokens[next_++].text;
        return true;
    }
    bool quantity(const std::string& key, std::uint64_t max, std::uint64_t& result);
    bool code(const std::string& key, std::uint8_t& result);
    template <typename T>
    bool quantity_as(const std::string& key, std::uint64_t max, T& result) {
        std::uint64_t v = 0;
        if (!quantity(key, max, v)) return false;
        result = static_cast<T>(v);
        return true;
    }

    const std::string& name_;
    BusDescription& out_;
    Line line_;
    std::size_t next_ = 0;
};

bool is_hex(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isxdigit(c); });
}
bool is_dec(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

// Decimal, "0x..." or "...h"; false when the text is no number or too big.
bool parse_quantity(const std::string& text, std::uint64_t& value) {
    std::string digits = text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits = digits.substr(2);
        base = 16;
    } else if (digits.size() > 1 && (digits.back() == 'h' || digits.back() == 'H')) {
        digits.pop_back();
        base = 16;
    }
    if (base == 16 ? !is_hex(digits) : !is_dec(digits)) return false;
    if (digits.size() > 16) return false;
    value = std::strtoull(digits.c_str(), nullptr, base);
    return true;
}

// SCSI codes are hexadecimal with or without "0x" / "h".
bool parse_code(const std::string& text, std::uint64_t& value) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    else if (digits.size() > 1 && (digits.back() == 'h' || digits.back() == 'H'))
        digits.pop_back();
    if (!is_hex(digits) || digits.size() > 8) return false;
    value = std::strtoull(digits.c_str(), nullptr, 16);
    return true;
}

bool Parser::quantity(const std::string& key, std::uint64_t max, std::uint64_t& result) {
    std::string text;
    if (!value(key, text)) return false;
    if (!parse_quantity(text, result)) return fail("value \"" + text + "\" of \"" + key + "\" is not a number");
    if (result > max)
        return fail("value \"" + text + "\" of \"" + key + "\" is out of range (0 to " + std::to_string(max) + ")");
    return true;
}

bool Parser::code(const std::string& key, std::uint8_t& result) {
    std::string text;
    if (!value(key, text)) return false;
    std::uint64_t v = 0;
    if (!parse_code(text, v) || v > 0xFF)
        return fail("value \"" + text + "\" of \"" + key + "\" is not a hexadecimal byte");
    result = static_cast<std::uint8_t>(v);
    return true;
}

bool Parser::lex(const std::string& physical, bool& continues) {
    continues = false;
    std::size_t i = 0;
    const std::size_t n = physical.size();
    while (i < n) {
        char c = physical[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '=') {
            ++i;
            continue;
        }
        if (c == '#') break;
        Token token;
        if (c == '"') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < n) {
                char d = physical[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d == '\\' && i < n && (physical[i] == '"' || physical[i] == '\\')) d = physical[i++];
                token.text += d;
            }
            if (!closed) return fail("text in double quotes is not closed");
        } else {
            while (i < n && physical[i] != ' ' && physical[i] != '\t' && physical[i] != '\r' && physical[i] != '=' &&
                   physical[i] != '#' && physical[i] != '"')
                token.text += physical[i++];
        }
        line_.tokens.push_back(std::move(token));
    }
    if (!line_.tokens.empty() && !line_.tokens.back().quoted && !line_.tokens.back().text.empty() &&
        line_.tokens.back().text.back() == '\\') {
        continues = true;
        line_.tokens.back().text.pop_back();
        if (line_.tokens.back().text.empty()) line_.tokens.pop_back();
    }
    return true;
}

bool Parser::run(const std::string& text) {
    std::size_t start = 0;
    unsigned physical_number = 0;
    bool continuing = false;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string physical = text.substr(start, end - start);
        start = end + 1;
        ++physical_number;
        if (!continuing) {
            line_ = Line{};
            line_.number = physical_number;
        }
        bool continues = false;
        if (!lex(physical, continues)) return false;
        continuing = continues;
        if (continuing) continue;
        if (!line_.tokens.empty() && !statement()) return false;
    }
    if (continuing && !line_.tokens.empty() && !statement()) return false;
    return true;
}

bool Parser::statement() {
    next_ = 1;
    const Token& first = line_.tokens[0];
    if (!first.quoted) {
        if (first.text == "adapter") return adapter_line();
        if (first.text == "bus") return bus_line();
        if (first.text == "device") return device_line();
        if (first.text == "fault") return fault_line();
    }
    return fail("unknown keyword \"" + first.text + "\"");
}

bool Parser::adapter_line() {
    AdapterConfig adapter;
    if (!quantity_as("adapter", 254, adapter.number)) return false;
    for (const AdapterConfig& a : out_.adapters)
        if (a.number == adapter.number)
            return fail("adapter " + std::to_string(adapter.number) + " is declared twice");
    while (more()) {
        const std::string key = line_.tokens[next_++].text;
        if (key == "in_use")
            adapter.in_use = true;
        else if (key == "inquiry_fails")
            adapter.inquiry_fails = true;
        else if (key == "close_fails")
            adapter.close_fails = true;
        else
            return fail("unknown option \"" + key + "\" for an adapter");
    }
    out_.adapters.push_back(adapter);
    return true;
}

bool Parser::bus_line() {
    if (out_.adapters.empty()) return fail("\"bus\" before any \"adapter\"");
    AdapterConfig& adapter = out_.adapters.back();
    std::uint64_t number = 0;
    if (!quantity("bus", 255, number)) return false;
    if (number != adapter.buses.size())
        return fail("bus " + std::to_string(number) + " of adapter " + std::to_string(adapter.number) +
                    ": buses are numbered 0, 1, 2 ... in order (expected " + std::to_string(adapter.buses.size()) +
                    ")");
    BusConfig bus;
    while (more()) {
        const std::string key = line_.tokens[next_++].text;
        if (key == "initiator") {
            if (!quantity_as("initiator", 255, bus.initiator)) return false;
        } else {
            return fail("unknown option \"" + key + "\" for a bus");
        }
    }
    adapter.buses.push_back(bus);
    return true;
}

bool parse_address(const std::string& text, DeviceConfig& device) {
    std::uint64_t parts[4];
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        std::size_t end = i < 3 ? text.find(':', start) : text.size();
        if (end == std::string::npos) return false;
        std::string part = text.substr(start, end - start);
        if (!is_dec(part) || part.size() > 3) return false;
        parts[i] = std::strtoull(part.c_str(), nullptr, 10);
        if (parts[i] > 255) return false;
        start = end + 1;
    }
    device.adapter = static_cast<std::uint8_t>(parts[0]);
    device.bus = static_cast<std::uint8_t>(parts[1]);
    device.target = static_cast<std::uint8_t>(parts[2]);
    device.lun = static_cast<std::uint8_t>(parts[3]);
    return true;
}

std::string address_text(const DeviceConfig& d) {
    return std::to_string(d.adapter) + ":" + std::to_string(d.bus) + ":" + std::to_string(d.target) + ":" +
           std::to_string(d.lun);
}

bool Parser::device_line() {
    DeviceConfig device;
    std::string text;
    if (!value("device", text)) return false;
    if (!parse_address(text, device)) return fail("device address \"" + text + "\" is not A:B:T:L");
    const std::string where = "device " + address_text(device) + ": ";
    const AdapterConfig* adapter = nullptr;
    for (const AdapterConfig& a : out_.adapters)
        if (a.number == device.adapter) adapter = &a;
    if (adapter == nullptr) return fail(where + "adapter " + std::to_string(device.adapter) + " is not declared");
    if (device.bus >= adapter->buses.size())
        return fail(where + "bus " + std::to_string(device.bus) + " of adapter " + std::to_string(device.adapter) +
                    " is not declared");
    for (const DeviceConfig& d : out_.devices)
        if (d.adapter == device.adapter && d.bus == device.bus && d.target == device.target && d.lun == device.lun)
            return fail(where + "declared twice");
    if (!more()) return fail(where + "the device type is missing");
    const std::string type = line_.tokens[next_++].text;
    std::uint64_t type_code = 0;
    if (type == "tape")
        device.type = TYPE_TAPE;
    else if (type == "disk")
        device.type = TYPE_DISK;
    else if (type == "processor")
        device.type = TYPE_PROCESSOR;
    else if (type == "changer")
        device.type = TYPE_CHANGER;
    else if (parse_code(type, type_code) && type_code <= 0x1F)
        device.type = static_cast<std::uint8_t>(type_code);
    else
        return fail(where + "unknown device type \"" + type + "\"");
    while (more()) {
        const std::string key = line_.tokens[next_++].text;
        if (!device_option(device, key)) return false;
    }
    const TapeOptions& tape = device.tape;
    if (tape.min_block > tape.max_block) return fail(where + "\"min_block\" is above \"max_block\"");
    if (tape.block_size != 0 && (tape.block_size < tape.min_block || tape.block_size > tape.max_block))
        return fail(where + "\"block_size\" is outside the block length limits");
    if (tape.early_warning_given && tape.early_warning_bytes > tape.capacity_bytes)
        return fail(where + "the early-warning point lies beyond the capacity");
    if (!tape.early_warning_given) device.tape.early_warning_bytes = tape.capacity_bytes - tape.capacity_bytes / 50;
    if (device.tape_device >= 0)
        for (const DeviceConfig& d : out_.devices)
            if (d.tape_device == device.tape_device)
                return fail(where + "tape device " + std::to_string(device.tape_device) + " is declared twice");
    out_.devices.push_back(std::move(device));
    return true;
}

bool Parser::device_option(DeviceConfig& device, const std::string& key) {
    std::string text;
    if (key == "vendor" || key == "product" || key == "rev") {
        if (!value(key, text)) return false;
        const std::size_t limit = key == "vendor" ? 8 : key == "product" ? 16 : 4;
        if (text.size() > limit)
            return fail(key + " \"" + text + "\" is longer than " + std::to_string(limit) + " characters");
        (key == "vendor" ? device.vendor : key == "product" ? device.product : device.revision) = text;
        return true;
    }
    if (key == "qualifier") return quantity_as(key, 7, device.qualifier);
    if (key == "claimed") {
        device.claimed = true;
        return true;
    }
    if (key == "tape_device") return quantity_as(key, 254, device.tape_device);
    if (key == "tape_device_in_use") {
        device.tape_device_in_use = true;
        return true;
    }
    if (key == "address_fails") {
        device.address_fails = true;
        return true;
    }
    if (key == "unit_attention") {
        device.unit_attention = true;
        return true;
    }
    if (key == "delay_ms") return quantity_as(key, 3600000, device.delay_ms);
    if (key == "speed_mbps") return quantity_as(key, 1000000, device.speed_mbps);
    bool known = false;
    if (!tape_option(device.tape, key, known)) return false;
    if (!known) return fail("unknown option \"" + key + "\" for a device");
    if (device.type != TYPE_TAPE) return fail("option \"" + key + "\" applies to tape drives only");
    return true;
}

bool Parser::tape_option(TapeOptions& tape, const std::string& key, bool& known) {
    known = true;
    std::uint64_t v = 0;
    if (key == "unloaded") {
        tape.loaded = false;
    } else if (key == "write_protected") {
        tape.write_protected = true;
    } else if (key == "no_load_unload") {
        tape.load_unload_supported = false;
    } else if (key == "no_prevent_allow") {
        tape.prevent_allow_supported = false;
    } else if (key == "mode_sense_header_only") {
        tape.mode_sense_header_only = true;
    } else if (key == "capacity_mb" || key == "capacity_kb") {
        if (!quantity(key, 1u << 30, v)) return false;
        if (v == 0) return fail("\"" + key + "\" must be above 0");
        tape.capacity_bytes = v * (key == "capacity_mb" ? MB : KB);
    } else if (key == "early_warning_mb" || key == "early_warning_kb") {
        if (!quantity(key, 1u << 30, v)) return false;
        tape.early_warning_given = true;
        tape.early_warning_bytes = v * (key == "early_warning_mb" ? MB : KB);
    } else if (key == "min_block" || key == "max_block") {
        if (!quantity(key, 0xFFFFFF, v)) return false;
        if (v == 0) return fail("\"" + key + "\" must be above 0");
        (key == "min_block" ? tape.min_block : tape.max_block) = static_cast<std::uint32_t>(v);
    } else if (key == "block_size") {
        return quantity_as(key, 0xFFFFFF, tape.block_size);
    } else if (key == "density") {
        return code(key, tape.density);
    } else if (key == "densities") {
        std::string text;
        if (!value(key, text)) return false;
        tape.densities_restricted = true;
        tape.densities.clear();
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find(',', start);
            if (end == std::string::npos) end = text.size();
            std::uint64_t c = 0;
            std::string item = text.substr(start, end - start);
            if (!parse_code(item, c) || c > 0xFF)
                return fail("value \"" + item + "\" of \"densities\" is not a hexadecimal byte");
            tape.densities.push_back(static_cast<std::uint8_t>(c));
            start = end + 1;
        }
    } else if (key == "becoming_ready") {
        return quantity_as(key, 1000000, tape.becoming_ready);
    } else if (key == "load_no_medium") {
        tape.load_no_medium = true;
        return quantity_as(key, 1000000, tape.load_no_medium_turs);
    } else if (key == "compression") {
        std::string text;
        if (!value(key, text)) return false;
        char* end = nullptr;
        double ratio = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(ratio >= 1.0) || ratio > 1000.0)
            return fail("value \"" + text + "\" of \"compression\" is not a ratio from 1 to 1000");
        tape.compression_milli = static_cast<std::uint32_t>(ratio * 1000.0 + 0.5);
    } else if (key == "rwr_permille") {
        return quantity_as(key, 1000, tape.rwr_permille);
    } else if (key == "ecc_permille") {
        return quantity_as(key, 1000, tape.ecc_permille);
    } else if (key == "rw_retries") {
        return quantity_as(key, 0xFFFFFFFFu, tape.rw_retries);
    } else if (key == "tracking_retries") {
        return quantity_as(key, 0xFFFFFFFFu, tape.tracking_retries);
    } else {
        known = false;
    }
    return true;
}

bool Parser::fault_line() {
    if (out_.devices.empty()) return fail("\"fault\" before any \"device\"");
    FaultConfig fault;
    bool has_at = false;
    bool has_action = false;
    while (more()) {
        const std::string key = line_.tokens[next_++].text;
        if (key == "opcode") {
            fault.by_opcode = true;
            if (!code(key, fault.opcode)) return false;
        } else if (key == "at") {
            if (!quantity(key, UINT64_MAX, fault.at)) return false;
            if (fault.at == 0) return fail("\"at\" counts from 1");
            has_at = true;
        } else if (key == "count") {
            if (!quantity(key, UINT64_MAX, fault.count)) return false;
        } else if (key == "status" || key == "call_fails" || key == "corrupt_byte" || key == "short") {
            if (has_action) return fail("a fault has one action; \"" + key + "\" is a second one");
            has_action = true;
            if (key == "status") {
                fault.action = FaultAction::status;
                if (!code(key, fault.status)) return false;
            } else if (key == "call_fails") {
                fault.action = FaultAction::call_fails;
                if (!quantity_as(key, 0xFFFFFFFFu, fault.error_code)) return false;
            } else if (key == "corrupt_byte") {
                fault.action = FaultAction::corrupt_byte;
                if (!quantity_as(key, 0xFFFFFFFFu, fault.byte_offset)) return false;
            } else {
                fault.action = FaultAction::short_read;
                if (!quantity_as(key, 0xFFFFFF, fault.short_bytes)) return false;
                if (fault.short_bytes == 0) return fail("\"short\" must be above 0");
            }
        } else if (key == "sense") {
            std::string text;
            if (!value(key, text)) return false;
            std::uint64_t parts[3];
            std::size_t start = 0;
            bool ok = true;
            for (int i = 0; i < 3 && ok; ++i) {
                std::size_t end = i < 2 ? text.find('/', start) : text.size();
                if (end == std::string::npos) {
                    ok = false;
                    break;
                }
                ok = parse_code(text.substr(start, end - start), parts[i]) && parts[i] <= (i == 0 ? 0xFu : 0xFFu);
                start = end + 1;
            }
            if (!ok) return fail("sense \"" + text + "\" is not KEY/ASC/ASCQ in hexadecimal");
            fault.has_sense = true;
            fault.sense_key = static_cast<std::uint8_t>(parts[0]);
            fault.asc = static_cast<std::uint8_t>(parts[1]);
            fault.ascq = static_cast<std::uint8_t>(parts[2]);
        } else if (key == "fmk") {
            fault.sense_flags |= 0x80;
        } else if (key == "eom") {
            fault.sense_flags |= 0x40;
        } else if (key == "ili") {
            fault.sense_flags |= 0x20;
        } else if (key == "info") {
            fault.has_info = true;
            if (!quantity_as(key, 0xFFFFFFFFu, fault.info)) return false;
        } else if (key == "xor") {
            if (!code(key, fault.xor_value)) return false;
        } else {
            return fail("unknown option \"" + key + "\" for a fault");
        }
    }
    if (!has_at) return fail("a fault needs \"at N\"");
    if (!has_action) return fail("a fault needs an action (status, call_fails, corrupt_byte or short)");
    if ((fault.has_sense || fault.sense_flags || fault.has_info) && fault.action != FaultAction::status)
        return fail("sense, fmk, eom, ili and info go with \"status\" only");
    if ((fault.sense_flags || fault.has_info) && !fault.has_sense) return fail("fmk, eom, ili and info need \"sense\"");
    out_.devices.back().faults.push_back(fault);
    return true;
}

}  // namespace

bool parse_description(const std::string& text, const std::string& name, BusDescription& description,
                       std::string& error) {
    description = BusDescription{};
    Parser parser(name, description);
    if (!parser.run(text)) {
        error = parser.error;
        return false;
    }
    return true;
}

}  // namespace zv::emulator
