# The reader of a drive's CD-Text reply (READ TOC format 5).
cadrix_add_fuzzer(akrip_cd_text_fuzz SOURCES akrip_cd_text_fuzz.cpp LIBS akrip_core)
