-- One bucket's middle: $1 scale, $2 bucket index, $3 middle in ns.
INSERT INTO zel_bucket_mid (scale, bucket_index, mid_ns) VALUES ($1, $2, $3)
