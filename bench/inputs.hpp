// What the benchmarks measure: real meter frames from the corpus and files
// built the way meter-sim builds them, each as a whole frame and as the file
// inside it.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct input {
	std::string name;
	// On the wire: start sequence through CRC.
	std::vector<unsigned char> frame;
	// len - 16 bytes from byte 8: the messages and the padding, what obisdump
	// hands to sml_file_parse (no corpus frame holds an escape).
	std::vector<unsigned char> file;
};

struct inputs {
	// Every .bin frame of the corpus the tree reads whole, by file name
	// without extension; empty without a corpus.
	std::vector<input> corpus;
	// Corpus frames left out, each with the reason.
	std::vector<std::string> skipped;
	// meter-sim files of 3 and 12 readings and of a 200-entry value list.
	std::vector<input> meter;
};

inputs load(const std::string &corpus_dir);

// The corpus frames that stand for a typical meter: intact, of several
// makers, 324 to 684 bytes on the wire.
inline const char *const typical[] = {"apator-unknown-1", "dnt-unknown-1", "efr-unknown-2", "holley-dtz541-1",
				      "iskra-unknown-1"};

} // namespace bench
