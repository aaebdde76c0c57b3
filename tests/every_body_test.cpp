// One message of every body tag, built by hand, sent as a transport frame
// and read back: the same records, and the same bytes when sent again.
#include <sml/sml_attention_response.h>
#include <sml/sml_close_request.h>
#include <sml/sml_close_response.h>
#include <sml/sml_file.h>
#include <sml/sml_get_list_request.h>
#include <sml/sml_get_list_response.h>
#include <sml/sml_get_proc_parameter_request.h>
#include <sml/sml_get_proc_parameter_response.h>
#include <sml/sml_get_profile_list_request.h>
#include <sml/sml_get_profile_list_response.h>
#include <sml/sml_get_profile_pack_request.h>
#include <sml/sml_get_profile_pack_response.h>
#include <sml/sml_open_request.h>
#include <sml/sml_open_response.h>
#include <sml/sml_set_proc_parameter_request.h>
#include <sml/sml_transport.h>
#include <sml/sml_tree.h>

#include <cstdlib>
#include <thread>
#include <type_traits>
#include <vector>

#include <unistd.h>

#include "bodies.hpp"
#include "sml_test.hpp"

namespace {

struct file_deleter {
	void operator()(sml_file *f) const { sml_file_free(f); }
};
using file_ptr = std::unique_ptr<sml_file, file_deleter>;

// The frame the transport writes for the file, as read back from a pipe. The
// reader runs on a thread of its own and drains the pipe after the frame: a
// pipe holds 64 KiB, and a frame larger than that (or than the listener's
// area) would otherwise block the writer for ever instead of failing.
std::vector<unsigned char> sent_and_received(sml_file *file) {
	int fds[2];
	EXPECT_EQ(pipe(fds), 0);
	std::vector<unsigned char> area(8096);
	size_t n = 0;
	std::thread reader([&] {
		n = sml_transport_read(fds[0], area.data(), area.size());
		unsigned char rest[4096];
		while (read(fds[0], rest, sizeof rest) > 0) {
		}
	});
	int len = sml_transport_write(fds[1], file);
	close(fds[1]);
	reader.join();
	close(fds[0]);
	EXPECT_GT(len, 16);
	EXPECT_EQ(n, static_cast<size_t>(len));
	area.resize(n);
	return area;
}

std::string body_bytes(sml_message_body *body) {
	return test::written([&](sml_buffer *w) { sml_message_body_write(body, w); });
}

std::string hex_of(const octet_string *s) { return s ? test::hex(s->str, static_cast<size_t>(s->len)) : "absent"; }

TEST(EveryBody, FileOfEveryTagRoundTripsThroughTheTransport) {
	file_ptr sent{test::every_body_file()};
	const std::vector<unsigned char> frame = sent_and_received(sent.get());
	ASSERT_GT(frame.size(), 16u);

	file_ptr got{sml_file_parse(frame.data() + 8, frame.size() - 16)};
	EXPECT_FALSE(got->buf->error);
	ASSERT_EQ(got->messages_len, 14);

	// The same records: every field in its place, so each body writes the bytes of the one it came from.
	for (int i = 0; i < 14; i++) {
		const sml_message *a = sent->messages[i], *b = got->messages[i];
		SCOPED_TRACE(*a->message_body->tag);
		EXPECT_EQ(*b->message_body->tag, *a->message_body->tag);
		EXPECT_EQ(hex_of(b->transaction_id), hex_of(a->transaction_id));
		EXPECT_EQ(*b->group_id, *a->group_id);
		EXPECT_EQ(*b->abort_on_error, *a->abort_on_error);
		EXPECT_EQ(*b->crc, *a->crc);
		ASSERT_NE(b->message_body->data, nullptr);
		EXPECT_EQ(body_bytes(b->message_body), body_bytes(a->message_body));
	}
	auto *resp = static_cast<sml_get_proc_parameter_response *>(got->messages[9]->message_body->data);
	ASSERT_EQ(resp->parameter_tree->child_list_len, 4);
	for (int i = 0; i < 4; i++)
		EXPECT_EQ(*resp->parameter_tree->child_list[i]->parameter_value->tag, i + 1);
	EXPECT_EQ(*resp->parameter_tree->child_list[2]->parameter_value->data.tupel_entry->value_pA, -5);
	EXPECT_EQ(resp->parameter_tree->child_list[3]->child_list_len, 1);
	auto *set = static_cast<sml_set_proc_parameter_request *>(got->messages[10]->message_body->data);
	ASSERT_NE(set->parameter_tree_path, nullptr);
	EXPECT_EQ(set->parameter_tree_path->path_entries_len, 0);
	auto *list_req = static_cast<sml_get_profile_list_request *>(got->messages[6]->message_body->data);
	EXPECT_EQ(hex_of(list_req->object_list->object_list_entry), "01 00 02 08 00 FF");
	auto *list_resp = static_cast<sml_get_profile_list_response *>(got->messages[7]->message_body->data);
	ASSERT_EQ(list_resp->period_list->elems_len, 2);
	EXPECT_EQ(list_resp->period_list->elems[1], nullptr);

	// Sent again, the file read back is the same frame.
	const std::vector<unsigned char> again = sent_and_received(got.get());
	EXPECT_EQ(test::hex(again.data(), again.size()), test::hex(frame.data(), frame.size()));
}

} // namespace
