#pragma once

// The pass-data steps of the print engine written as plain per-pixel loops, exactly in the
// words of their definition: the yardstick that the tests compare the engine with byte for
// byte and that the benchmark times it against. They work on the engine's own globals, so a
// caller runs one pipeline, keeps what it needs, and runs the other on the same input. Kept
// out of the program.
namespace test_support {

void literal_copy_lines_for_mode();
void literal_apply_pass_masks();
void literal_clear_staging_planes();
void literal_expand_pass_buffers();
void literal_clear_transfer_buffer();
void literal_pack_transfer_buffer_8ch();
void literal_pack_transfer_buffer_4ch();

}  // namespace test_support
