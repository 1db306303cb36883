#include "frontend/report_header.h"

#include "frontend/help.h"
#include "frontend/options.h"
#include "frontend/output.h"
#include "scsi/commands.h"
#include "scsi/layer.h"

namespace zv::frontend {

namespace {

// Standard INQUIRY data: vendor 8..15, product 16..31, revision 32..35.
constexpr int VENDOR_OFFSET = 8;
constexpr int PRODUCT_OFFSET = 16;
constexpr int REVISION_OFFSET = 32;

const char* inquiry_field(int offset) {
    const std::uint8_t* data = scsi::layer.inquiry_data;
    return data != nullptr ? reinterpret_cast<const char*>(data + offset) : "";
}

}  // namespace

void print_report_header() {
    std::FILE* console = channels.console;
    std::FILE* output = channels.output_file;

    print_title_block(console, output, PROGRAM_TITLE);
    const char* date = date_text();
    const char* time = time_text();
    print_to_streams(console, output, "\r\nTEST DATE/TIME .............. %s %s\r\n", date, time);

    scsi::inquiry(0xFF);
    // The fields run into each other without zero bytes, and a failed
    // INQUIRY leaves zeros: the precision stops either way.
    print_to_streams(console, output, "DRIVE PRODUCT ID ............ %-16.16s\r\n", inquiry_field(PRODUCT_OFFSET));
    print_to_streams(console, output, "DRIVE VENDOR ID ............. %-8.8s\r\n", inquiry_field(VENDOR_OFFSET));
    print_to_streams(console, output, "DRIVE FIRMWARE REVISION ..... %-4.4s\r\n", inquiry_field(REVISION_OFFSET));

    flush_report_files();
}

void print_settings_summary() {
    std::FILE* console = channels.console;
    std::FILE* output = channels.output_file;

    print_to_streams(console, output, "\r\n");
    // The output file does not name itself.
    print_to_streams(console, nullptr, "output file %s \"%s\"\r\n",
                     settings.output_file_mode == "ab" ? "(append) =" : "=", settings.output_file_name.c_str());
    if (settings.cdb_list_enabled) {
        print_to_streams(console, output, "CDB list file = \"%s\"\r\n", settings.cdb_list_file_name.c_str());
    }

    flush_report_files();
}

}  // namespace zv::frontend
