# The two commands of the README. Both first install what the machine lacks.
.PHONY: test run bench fuzz dist deps clean

deps:
	@scripts/install-deps

test: deps
	@scripts/test-all

run: deps
	@scripts/run

fuzz: deps
	@scripts/fuzz

bench: deps
	@scripts/bench

# The package for Windows users: build/dist/qinglan-1.0-win64.zip and its SHA-256.
dist: deps
	@scripts/dist

clean:
	rm -rf build
