-- One non-empty bucket of session $1: index $2, frames $3.
INSERT INTO zel_bucket (session_id, bucket_index, frames) VALUES ($1, $2, $3)
