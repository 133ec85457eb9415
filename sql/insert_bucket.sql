-- One non-empty bucket of session $1 at scale $2: index $3, frames $4. The
-- store repeats the row after VALUES, numbering the parameters on, to write
-- up to 64 buckets in one statement.
INSERT INTO zel_bucket (session_id, scale, bucket_index, frames) VALUES ($1, $2, $3, $4)
