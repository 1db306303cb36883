#include "driver/plan.h"

#include <cmath>

#include "frontend/options.h"
#include "frontend/output.h"
#include "tape/patterns.h"

namespace zv::driver {

using frontend::channels;
using frontend::print_to_streams;
using frontend::settings;

TransferPlan plan;

namespace {

constexpr double BYTES_PER_MB = 1048576.0;

}  // namespace

std::uint32_t count_from_double(double value) {
    constexpr double LIMIT = 9223372036854775808.0;  // 2^63
    if (std::isnan(value) || value >= LIMIT || value < -LIMIT) return 0;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)));
}

int plan_transfers() {
    plan.block_size = settings.logical_block_size > 0 ? settings.logical_block_size : 1;

    const std::uint32_t length = settings.max_transfer_length / plan.block_size * plan.block_size;
    if (length != settings.max_transfer_length) {
        print_to_streams(channels.console, channels.output_file,
                         "WARNING: the maximum write/read data transfer length is not an even multiple of\r\n");
        print_to_streams(channels.console, channels.output_file,
                         "the logical block size (length truncated to 0x%lX bytes)\r\n",
                         static_cast<unsigned long>(length));
        settings.max_transfer_length = length;
    }

    plan.blocks_per_command = settings.max_transfer_length / plan.block_size;
    plan.total_commands = count_from_double(settings.data_amount_mb * BYTES_PER_MB /
                                            static_cast<double>(settings.max_transfer_length));

    const double amount = static_cast<double>(settings.max_transfer_length) *
                          static_cast<double>(plan.total_commands) / BYTES_PER_MB;
    if (amount != settings.data_amount_mb) {
        print_to_streams(channels.console, channels.output_file,
                         "WARNING: the total amount of data to write/read is not an even multiple of the\r\n");
        print_to_streams(channels.console, channels.output_file,
                         "maximum write/read data transfer length (amount truncated to %.3f MB)\r\n", amount);
        settings.data_amount_mb = amount;
    }

    if (settings.status_interval_given && settings.status_interval_mb >= 1.0 &&
        settings.status_interval_mb <= settings.data_amount_mb) {
        plan_status_intervals();
    } else {
        plan.commands_per_interval = plan.total_commands;
        plan.interval_mb = settings.data_amount_mb;
        plan.interval_count = 1;
    }

    int result = tape::allocate_data_buffers();
    if (result == 0) result = tape::set_data_pattern();
    frontend::flush_report_files();
    return result;
}

void plan_status_intervals() {
    const double length = static_cast<double>(settings.max_transfer_length);
    plan.commands_per_interval = count_from_double(settings.status_interval_mb * BYTES_PER_MB / length);
    plan.interval_mb = static_cast<double>(plan.commands_per_interval) * length / BYTES_PER_MB;
    // No interval without a command: the division by an interval of 0 MB
    // would give no meaningful count.
    plan.interval_count =
        plan.commands_per_interval == 0 ? 0 : count_from_double(settings.data_amount_mb / plan.interval_mb);

    const double total = static_cast<double>(plan.interval_count) * plan.interval_mb;
    const std::uint32_t commands = plan.commands_per_interval * plan.interval_count;

    if (plan.interval_mb != settings.status_interval_mb) {
        print_to_streams(channels.console, channels.output_file,
                         "WARNING: the amount of data to write/read per status interval is not an even\r\n");
        print_to_streams(channels.console, channels.output_file,
                         "multiple of the maximum write/read data transfer length (amount truncated to\r\n");
        print_to_streams(channels.console, channels.output_file, "%.3f MB)\r\n", plan.interval_mb);
    }
    if (total != settings.data_amount_mb) {
        print_to_streams(channels.console, channels.output_file,
                         "WARNING: the total amount of data to write/read is not an even multiple of the\r\n");
        print_to_streams(channels.console, channels.output_file,
                         "amount of data to write/read per status interval (total amount truncated to\r\n");
        print_to_streams(channels.console, channels.output_file, "%.3f MB)\r\n", total);
    }
    settings.data_amount_mb = total;
    plan.total_commands = commands;
    frontend::flush_report_files();
}

}  // namespace zv::driver
